// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListView;
class QStackedWidget;

namespace scrivlet {

class AppSettings;
class PaletteModel;
class PaletteRowDelegate;

// The palette's window: a search field, the list, and a footer of hints.
// The search field keeps the keyboard; the keys that drive the list are
// taken from it here.
class PaletteWindow : public QWidget
{
    Q_OBJECT

public:
    PaletteWindow(PaletteModel &model, PaletteRowDelegate &rows, AppSettings &settings,
        QWidget *parent = nullptr);

    // Empty query, fresh list, first row selected, focus in the search field.
    void reset();
    [[nodiscard]] QLineEdit &searchField() const { return *m_search; }
    [[nodiscard]] QListView &list() const { return *m_list; }
    // Handles one key press as the palette does; false when the search
    // field should have it.
    bool handleKey(QKeyEvent *event);

Q_SIGNALS:
    void closeRequested();
    // The window lost the focus it had since it was last shown.
    void deactivated();
    void resizedByUser(const QSize &size);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    bool event(QEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool handleListMouse(QEvent *event);
    void updateEmptyState();
    void applyAccent();
    [[nodiscard]] int rowsPerPage() const;

    PaletteModel &m_model;
    PaletteRowDelegate &m_rows;
    AppSettings &m_settings;
    QLineEdit *m_search;
    QListView *m_list;
    QLabel *m_empty;
    QStackedWidget *m_stack;
    // Waits out a possible second click before a single click pastes.
    QTimer m_singleClick;
    int m_clickedRow = -1;
    // A deactivation counts only once the window was active since it was
    // last shown: one left over from before is not the user leaving.
    bool m_activeSinceShown = false;
};

} // namespace scrivlet
