// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HeldKeys.h"

#include <QAbstractItemView>
#include <QWidget>
#include <optional>

class QLabel;
class QLineEdit;
class QListView;
class QStackedWidget;

namespace scrivlet {

class AppSettings;
class KeyboardLayout;
class PaletteModel;
class PaletteRowActions;
class PaletteRowDelegate;
class Scheduler;

// The palette's window: a search field, the list, and a footer of hints.
// The search field keeps the keyboard; the keys that drive the list are
// taken from it here.
class PaletteWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int kMinimumWidth = 360;
    static constexpr int kMinimumHeight = 280;

    struct Services
    {
        PaletteModel &model;
        PaletteRowDelegate &rows;
        AppSettings &settings;
        Scheduler &scheduler;
        // Where the digit row is; without it Ctrl+digit goes by the digit typed.
        KeyboardLayout *layout = nullptr;
    };

    explicit PaletteWindow(Services services, QWidget *parent = nullptr);

    // Empty query, fresh list, first row selected, focus in the search field.
    void reset();
    [[nodiscard]] QLineEdit &searchField() const { return *m_search; }
    [[nodiscard]] QListView &list() const { return *m_list; }
    [[nodiscard]] PaletteRowActions &rowActions() const { return *m_actions; }
    [[nodiscard]] QWidget &footer() const { return *m_footer; }
    // A single click waits out a possible second one before it pastes.
    [[nodiscard]] bool isClickPending() const { return m_clickPending; }
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
    void hideEvent(QHideEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void buildSearchField();
    void buildList();
    void followModel();
    bool handleListMouse(QEvent *event);
    void pressRow(const QModelIndex &index);
    bool handleKeyPress(QKeyEvent *event, bool repeat);
    bool handleActionKey(QKeyEvent *event);
    // The quick-key digit of a press: by the key's place on the digit row,
    // or a keypad digit; 0 when it is neither.
    [[nodiscard]] int quickDigit(const QKeyEvent *event) const;
    // Tab from the search field: the selected row's buttons take the keyboard.
    bool focusActions(bool last);
    // The buttons go over the row under the pointer, or over the selection
    // while they have the keyboard.
    void placeActions();
    void cancelPendingClick();
    void updateEmptyState();
    void applyAccent();
    [[nodiscard]] int rowsPerPage() const;

    PaletteModel &m_model;
    PaletteRowDelegate &m_rows;
    AppSettings &m_settings;
    Scheduler &m_scheduler;
    KeyboardLayout *m_layout;
    QLineEdit *m_search;
    QListView *m_list;
    QLabel *m_empty;
    QStackedWidget *m_stack;
    QWidget *m_footer;
    PaletteRowActions *m_actions;
    HeldKeys m_heldKeys;
    // How a change of selection scrolls: a click must not move the row
    // from under the pointer, the keys bring it to the centre.
    QAbstractItemView::ScrollHint m_selectionScroll = QAbstractItemView::PositionAtCenter;
    // A single click waits out the double-click interval; a newer click or
    // a cancel makes the one pending stale.
    bool m_clickPending = false;
    quint64 m_clickCount = 0;
    // The row of the last press: the row a double click means, even when
    // that press scrolled a half-hidden row into view.
    int m_clickedRow = -1;
    // Where the pointer is over the list, for the buttons to follow.
    std::optional<QPoint> m_pointer;
    // A deactivation counts only once the window was active since it was
    // last shown: one left over from before is not the user leaving.
    bool m_activeSinceShown = false;
};

} // namespace scrivlet
