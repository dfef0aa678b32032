// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/shortcuts/GlobalShortcuts.h"

#include <QWidget>
#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
class QVBoxLayout;

namespace scrivlet {

class AppIconCache;
class AppSettings;
class DesktopEntries;
class Dialogs;
class HotkeyGrabber;
class KeyboardLayout;
class KeySender;
class ShortcutRecorder;
class ToggleSwitch;

// Every preference in one fixed-size window, made once and then shown and
// hidden. Controls write a preference only when the user moves them; what is
// stored is shown as it is, clamped into a control's range without being
// written back.
class SettingsWindow : public QWidget
{
    Q_OBJECT

public:
    struct Services
    {
        AppSettings &settings;
        GlobalShortcuts::ShortcutStore &shortcuts;
        HotkeyGrabber &hotkeys;
        KeyboardLayout &keyboardLayout;
        KeySender &keys;
        Dialogs &dialogs;
        DesktopEntries &applications;
        AppIconCache &icons;
        // False where the desktop binds the palette's key itself.
        bool grabsShortcut = true;
        bool knowsFrontmostApplication = true;
    };

    SettingsWindow(Services services, Language language, std::function<void()> onClearHistory,
        const QString &autostartPath = {}, QWidget *parent = nullptr);
    ~SettingsWindow() override;

    // Shows the window in front, or brings it there.
    void present();
    // False while another program holds the palette's shortcut (it is tried
    // again): said under the recorder.
    void setShortcutActive(bool active);

    // The controls, for tests and screenshots.
    [[nodiscard]] QComboBox &appearancePicker() const { return *m_appearancePicker; }
    [[nodiscard]] QComboBox &accentPicker() const { return *m_accentPicker; }
    [[nodiscard]] QComboBox &languagePicker() const { return *m_languagePicker; }
    [[nodiscard]] QLabel &languageNote() const { return *m_languageNote; }
    [[nodiscard]] ShortcutRecorder &recorder() const { return *m_recorder; }
    [[nodiscard]] QLabel &shortcutInactiveNote() const { return *m_shortcutInactive; }
    [[nodiscard]] QSpinBox &historyLimitStepper() const { return *m_historyLimit; }
    [[nodiscard]] QSpinBox &retentionStepper() const { return *m_retention; }
    [[nodiscard]] QPushButton &clearButton() const { return *m_clear; }
    [[nodiscard]] QComboBox &clickPicker() const { return *m_clickPicker; }
    [[nodiscard]] ToggleSwitch &captureSwitch() const { return *m_capture; }
    [[nodiscard]] ToggleSwitch &recordSelectionSwitch() const { return *m_recordSelection; }
    [[nodiscard]] ToggleSwitch &launchAtLoginSwitch() const { return *m_launchAtLogin; }
    [[nodiscard]] QLabel &pastePermission() const { return *m_permission; }
    [[nodiscard]] QPushButton &addExcludedButton() const { return *m_addExcluded; }
    // Per excluded id: its shown name and its remove button.
    [[nodiscard]] QList<QPair<QString, QPushButton *>> excludedRows() const;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QWidget *buildAppearance();
    QWidget *buildShortcut();
    QWidget *buildHistory();
    QWidget *buildPalette();
    QWidget *buildCapture();
    QWidget *buildPermissions();
    QWidget *buildExcluded();
    void refresh();
    void refreshExcluded();
    void refreshPermission();
    void addExcluded();
    void removeExcluded(const QString &id);

    Services m_services;
    Language m_language;
    std::function<void()> m_onClearHistory;
    QString m_autostartPath;

    QComboBox *m_appearancePicker = nullptr;
    QComboBox *m_accentPicker = nullptr;
    QComboBox *m_languagePicker = nullptr;
    QLabel *m_languageNote = nullptr;
    QLabel *m_desktopTrigger = nullptr;
    ShortcutRecorder *m_recorder = nullptr;
    QLabel *m_shortcutInactive = nullptr;
    QSpinBox *m_historyLimit = nullptr;
    QSpinBox *m_retention = nullptr;
    QPushButton *m_clear = nullptr;
    QComboBox *m_clickPicker = nullptr;
    ToggleSwitch *m_capture = nullptr;
    ToggleSwitch *m_recordSelection = nullptr;
    ToggleSwitch *m_launchAtLogin = nullptr;
    QLabel *m_permission = nullptr;
    QPushButton *m_addExcluded = nullptr;
    QVBoxLayout *m_excludedRows = nullptr;
    QStringList m_shownExcluded;
};

} // namespace scrivlet
