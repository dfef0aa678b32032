// SPDX-License-Identifier: GPL-3.0-or-later
#include "SettingsWindow.h"

#include "SettingsLayout.h"
#include "ToggleSwitch.h"
#include "WheelGuard.h"
#include "core/desktop/DesktopEntries.h"
#include "core/desktop/LaunchAtLogin.h"
#include "core/services/HotkeyGrabber.h"
#include "core/services/KeySender.h"
#include "core/settings/AppSettings.h"
#include "core/settings/Appearance.h"
#include "ui/AppIconCache.h"
#include "ui/Dialogs.h"
#include "ui/ShortcutRecorder.h"
#include "ui/ThemeApplier.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace scrivlet {

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 580;
constexpr int kPickerWidth = 160;

const QColor kGrey(0x8e, 0x8e, 0x93);
const QColor kOrange(0xff, 0x95, 0x00);
const QColor kPurple(0xaf, 0x52, 0xde);
const QColor kBlue(0x00, 0x7a, 0xff);
const QColor kGreen(0x34, 0xc7, 0x59);
const QColor kRed(0xff, 0x3b, 0x30);

QColor secondary(const QWidget *widget)
{
    QColor color = widget->palette().color(QPalette::WindowText);
    color.setAlphaF(FadedLabel::kSecondary);
    return color;
}

QComboBox *picker()
{
    auto *combo = new QComboBox;
    combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    return combo;
}

// One width for all pickers: the design's, or more where a translation or a
// font needs it.
void alignWidths(const QList<QComboBox *> &pickers)
{
    int width = kPickerWidth;
    for (const QComboBox *combo : pickers)
        width = std::max(width, combo->sizeHint().width());
    for (QComboBox *combo : pickers)
        combo->setFixedWidth(width);
}

// Selects the item holding `value`, as the program would, not the user.
void select(QComboBox *combo, const QVariant &value, int fallback = 0)
{
    const QSignalBlocker blocker(combo);
    const int index = combo->findData(value);
    combo->setCurrentIndex(index >= 0 ? index : fallback);
}

// Shows a stored value without writing it back. Left alone when it is the
// value already shown, so that another preference changing meanwhile does
// not wipe what the user is typing there.
void showValue(QSpinBox *stepper, int value)
{
    if (stepper->value() == value)
        return;
    const QSignalBlocker blocker(stepper);
    stepper->setValue(value);
}

QIcon colorDot(const QColor &color)
{
    QPixmap pixmap(22, 22);
    pixmap.setDevicePixelRatio(2);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawEllipse(QRectF(0, 0, 11, 11));
    return QIcon(pixmap);
}

// The README's section on automatic paste, where one is installed.
void openPasteHelp()
{
    const QString relative = QStringLiteral("/../share/doc/scrivlet/README.md");
    const QStringList candidates {QCoreApplication::applicationDirPath() + relative,
        QStringLiteral("/usr/share/doc/scrivlet/README.md")};
    for (const QString &candidate : candidates) {
        if (!QFileInfo::exists(candidate))
            continue;
        QUrl url = QUrl::fromLocalFile(QDir::cleanPath(candidate));
        url.setFragment(QStringLiteral("automatic-paste"));
        QDesktopServices::openUrl(url);
        return;
    }
}

} // namespace

SettingsWindow::SettingsWindow(Services services, Language language,
    std::function<void()> onClearHistory, const QString &autostartPath, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_services(services)
    , m_language(language)
    , m_onClearHistory(std::move(onClearHistory))
    , m_autostartPath(autostartPath.isEmpty() ? LaunchAtLogin::entryPath() : autostartPath)
{
    setWindowTitle(tr("Réglages — Scrivlet"));
    setFixedSize(kWidth, kHeight);

    auto *content = new QWidget;
    auto *sections = new QVBoxLayout(content);
    sections->setContentsMargins(24, 24, 24, 24);
    sections->setSpacing(20);
    sections->addWidget(buildAppearance());
    sections->addWidget(buildShortcut());
    sections->addWidget(buildHistory());
    sections->addWidget(buildPalette());
    sections->addWidget(buildCapture());
    sections->addWidget(buildPermissions());
    sections->addWidget(buildExcluded());
    sections->addStretch();

    alignWidths({m_appearancePicker, m_accentPicker, m_languagePicker, m_clickPicker});

    auto *scroll = new QScrollArea;
    scroll->setWidget(content);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    WheelGuard::guardControlsUnder(content);

    const QString version = QCoreApplication::applicationVersion();
    auto *footer = new FadedLabel(
        QStringLiteral("Scrivlet ") + (version.isEmpty() ? QStringLiteral("—") : version),
        FadedLabel::kTertiary);
    footer->setAlignment(Qt::AlignCenter);
    footer->setFont(prefs::captionFont(footer));
    footer->setContentsMargins(24, 14, 24, 14);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(scroll);
    layout->addWidget(new Divider);
    layout->addWidget(footer);

    connect(&m_services.settings, &AppSettings::changed, this, &SettingsWindow::refresh);
    refresh();
}

SettingsWindow::~SettingsWindow() = default;

QWidget *SettingsWindow::buildAppearance()
{
    m_appearancePicker = picker();
    m_appearancePicker->addItem(tr("Système"), QStringLiteral("system"));
    m_appearancePicker->addItem(tr("Clair"), QStringLiteral("light"));
    m_appearancePicker->addItem(tr("Sombre"), QStringLiteral("dark"));
    connect(m_appearancePicker, &QComboBox::activated, this, [this](int index) {
        m_services.settings.setAppearance(m_appearancePicker->itemData(index).toString());
    });

    m_accentPicker = picker();
    for (const AccentChoice &choice : AccentChoice::all()) {
        // The system's dot is the colour the palette's rows will take.
        const QColor color = ThemeApplier::accentColor(choice, palette());
        m_accentPicker->addItem(colorDot(color),
            QCoreApplication::translate("AccentChoice", choice.nameKey), choice.id);
    }
    connect(m_accentPicker, &QComboBox::activated, this, [this](int index) {
        m_services.settings.setAccentColorID(m_accentPicker->itemData(index).toString());
    });

    m_languagePicker = picker();
    m_languagePicker->addItem(tr("Système"), QStringLiteral("system"));
    m_languagePicker->addItem(QStringLiteral("Français"), QStringLiteral("fr"));
    m_languagePicker->addItem(QStringLiteral("English"), QStringLiteral("en"));
    m_languageNote = prefs::note(tr("Relancez Scrivlet pour appliquer la langue."));
    m_languageNote->hide();
    connect(m_languagePicker, &QComboBox::activated, this, [this](int index) {
        m_services.settings.setLanguage(m_languagePicker->itemData(index).toString());
        // Stays for as long as the window lives.
        m_languageNote->show();
    });

    return prefs::section(QStringLiteral("paintbrush"), kGrey, tr("Apparence"),
        {prefs::row(tr("Apparence"), m_appearancePicker), new Divider,
            prefs::row(tr("Couleur d'accent"), m_accentPicker), new Divider,
            prefs::row(tr("Langue"), m_languagePicker), m_languageNote},
        this);
}

QWidget *SettingsWindow::buildShortcut()
{
    m_recorder = new ShortcutRecorder(
        {m_services.shortcuts, m_services.hotkeys, m_services.keyboardLayout, m_services.dialogs},
        m_language, GlobalShortcuts::Name::togglePalette().rawValue);
    m_shortcutInactive = prefs::note(tr("Ce raccourci n'est pas actif : un autre programme l'a "
                                        "pris. Scrivlet réessaie de le prendre."));
    m_shortcutInactive->hide();
    if (!m_services.grabsShortcut) {
        // The recorder stays for the preferences, but the key is the desktop's.
        m_recorder->setEnabled(false);
        return prefs::section(QStringLiteral("keyboard"), kGrey, tr("Raccourci"),
            {prefs::row(tr("Ouvrir la palette"), m_recorder), m_shortcutInactive,
                prefs::note(tr("Ce bureau ne laisse pas Scrivlet prendre un raccourci : dans ses "
                               "réglages clavier, associez la commande « scrivlet toggle » à la "
                               "touche de votre choix."))},
            this);
    }
    // Where the desktop binds the key (the shortcuts portal), it may choose
    // another one than asked: what it chose is shown.
    m_desktopTrigger = prefs::note(QString());
    const auto showTrigger = [this] {
        const QString trigger = m_services.hotkeys.triggerDescription();
        m_desktopTrigger->setText(tr("Le bureau l'a associé à : %1").arg(trigger));
        m_desktopTrigger->setVisible(!trigger.isEmpty());
    };
    showTrigger();
    connect(&m_services.hotkeys, &HotkeyGrabber::triggerChanged, m_desktopTrigger, showTrigger);
    return prefs::section(QStringLiteral("keyboard"), kGrey, tr("Raccourci"),
        {prefs::row(tr("Ouvrir la palette"), m_recorder), m_shortcutInactive, m_desktopTrigger},
        this);
}

QWidget *SettingsWindow::buildHistory()
{
    m_historyLimit = new QSpinBox;
    m_historyLimit->setRange(10, 1000);
    m_historyLimit->setSingleStep(10);
    // A typed value applies when the field is left or Return is pressed: typing
    // 150 over 200 must not pass through 15 and prune down to it. The arrows
    // and Up/Down still apply at once.
    m_historyLimit->setKeyboardTracking(false);
    connect(m_historyLimit, &QSpinBox::valueChanged, this,
        [this](int value) { m_services.settings.setHistoryLimit(value); });

    m_retention = new QSpinBox;
    m_retention->setRange(1, 365);
    m_retention->setSuffix(tr(" jours"));
    m_retention->setKeyboardTracking(false);
    connect(m_retention, &QSpinBox::valueChanged, this,
        [this](int value) { m_services.settings.setRetentionDays(value); });

    m_clear = new QPushButton(tr("Vider l'historique…"));
    prefs::setColor(m_clear, QPalette::ButtonText, kRed);
    connect(m_clear, &QPushButton::clicked, this, [this] {
        if (m_onClearHistory)
            m_onClearHistory();
    });

    return prefs::section(QStringLiteral("history"), kOrange, tr("Historique"),
        {prefs::row(tr("Nombre maximum"), m_historyLimit), new Divider,
            prefs::row(tr("Conserver pendant"), m_retention), new Divider, m_clear},
        this);
}

QWidget *SettingsWindow::buildPalette()
{
    m_clickPicker = picker();
    m_clickPicker->addItem(tr("Un simple clic"), true);
    m_clickPicker->addItem(tr("Un double-clic"), false);
    connect(m_clickPicker, &QComboBox::activated, this, [this](int index) {
        m_services.settings.setPasteOnSingleClick(m_clickPicker->itemData(index).toBool());
    });
    return prefs::section(QStringLiteral("palette"), kPurple, tr("Palette"),
        {prefs::row(tr("Coller un élément avec"), m_clickPicker),
            prefs::note(tr("Le double-clic évite de coller par mégarde en parcourant la liste."))},
        this);
}

QWidget *SettingsWindow::buildCapture()
{
    m_capture = new ToggleSwitch;
    m_capture->setAccessibleName(tr("Capturer le presse-papiers"));
    connect(m_capture, &ToggleSwitch::clicked, this,
        [this](bool on) { m_services.settings.setCaptureEnabled(on); });

    m_recordSelection = new ToggleSwitch;
    m_recordSelection->setAccessibleName(tr("Enregistrer aussi la sélection"));
    connect(m_recordSelection, &ToggleSwitch::clicked, this,
        [this](bool on) { m_services.settings.setRecordSelection(on); });

    m_launchAtLogin = new ToggleSwitch;
    m_launchAtLogin->setAccessibleName(tr("Lancer au démarrage"));
    m_launchAtLogin->setChecked(LaunchAtLogin::isEnabled(m_autostartPath));
    connect(m_launchAtLogin, &ToggleSwitch::clicked, this, [this](bool on) {
        LaunchAtLogin::set(on, QCoreApplication::applicationFilePath(), m_autostartPath);
        // What is true now, not what was asked: the entry may not be writable.
        m_launchAtLogin->setChecked(LaunchAtLogin::isEnabled(m_autostartPath));
    });

    return prefs::section(QStringLiteral("clipboard"), kBlue, tr("Capture"),
        {prefs::row(tr("Capturer le presse-papiers"), m_capture), new Divider,
            prefs::row(tr("Enregistrer aussi la sélection"), m_recordSelection), new Divider,
            prefs::row(tr("Lancer au démarrage"), m_launchAtLogin)},
        this);
}

QWidget *SettingsWindow::buildPermissions()
{
    m_permission = new QLabel;
    auto *open = new QPushButton(tr("Comment marche le collage automatique…"));
    connect(open, &QPushButton::clicked, this, [] { openPasteHelp(); });
    return prefs::section(QStringLiteral("lock-shield"), kGreen, tr("Autorisations"),
        {prefs::row(tr("Collage automatique"), m_permission), new Divider, open}, this);
}

QWidget *SettingsWindow::buildExcluded()
{
    auto *rows = new QWidget;
    m_excludedRows = new QVBoxLayout(rows);
    m_excludedRows->setContentsMargins(0, 0, 0, 0);
    m_excludedRows->setSpacing(10);
    m_addExcluded = new QPushButton(tr("Ajouter une app…"));
    connect(m_addExcluded, &QPushButton::clicked, this, &SettingsWindow::addExcluded);
    if (!m_services.knowsFrontmostApplication)
        return prefs::section(QStringLiteral("nosign"), kRed, tr("Apps exclues"),
            {rows, new Divider, m_addExcluded,
                prefs::note(
                    tr("Ce bureau ne dit pas quelle application copie : la liste ne peut pas "
                       "s'appliquer ici."))},
            this);
    return prefs::section(QStringLiteral("nosign"), kRed, tr("Apps exclues"),
        {rows, new Divider, m_addExcluded}, this);
}

void SettingsWindow::present()
{
    refresh();
    show();
    raise();
    activateWindow();
}

void SettingsWindow::showEvent(QShowEvent *event)
{
    // Read each time the window is shown; nothing polls it.
    refreshPermission();
    QWidget::showEvent(event);
}

void SettingsWindow::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::PaletteChange)
        refreshPermission();
    QWidget::changeEvent(event);
}

void SettingsWindow::refresh()
{
    const AppSettings &settings = m_services.settings;
    select(m_appearancePicker, settings.appearance());
    select(m_accentPicker, AccentChoice::by(settings.accentColorID()).id);
    select(m_languagePicker, settings.language());
    select(m_clickPicker, settings.pasteOnSingleClick());
    {
        // A stored value out of range is shown clamped, and left as stored.
        showValue(m_historyLimit, int(std::clamp<qint64>(settings.historyLimit(), 10, 1000)));
        showValue(m_retention, int(std::clamp<qint64>(settings.retentionDays(), 1, 365)));
    }
    m_capture->setChecked(settings.captureEnabled());
    m_recordSelection->setChecked(settings.recordSelection());
    refreshExcluded();
}

void SettingsWindow::setShortcutActive(bool active)
{
    m_shortcutInactive->setVisible(!active);
}

void SettingsWindow::refreshPermission()
{
    if (!m_permission)
        return;
    const bool trusted = m_services.keys.isTrusted();
    m_permission->setText(trusted ? tr("Accordée") : tr("Non accordée"));
    prefs::setColor(
        m_permission, QPalette::WindowText, trusted ? kGreen.darker(115) : secondary(this));
}

void SettingsWindow::refreshExcluded()
{
    const QStringList excluded = m_services.settings.excludedApps();
    if (excluded == m_shownExcluded && m_excludedRows->count() > 0)
        return;
    m_shownExcluded = excluded;
    while (QLayoutItem *item = m_excludedRows->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    if (excluded.isEmpty()) {
        m_excludedRows->addWidget(prefs::note(tr("Aucune app exclue")));
        return;
    }
    for (qsizetype i = 0; i < excluded.size(); ++i) {
        const QString &id = excluded.at(i);
        if (i > 0)
            m_excludedRows->addWidget(new Divider);
        const std::optional<DesktopEntries::Entry> entry = m_services.applications.byId(id);
        const QString name = entry && !entry->name.isEmpty() ? entry->name : id;

        auto *line = new QWidget;
        line->setObjectName(id);
        auto *layout = new QHBoxLayout(line);
        layout->setContentsMargins(0, 0, 0, 0);
        auto *icon = new QLabel(line);
        const std::optional<QIcon> appIcon = m_services.icons.icon(id);
        icon->setPixmap((appIcon ? *appIcon : QIcon(QStringLiteral(":/icons/app-dashed.svg")))
                            .pixmap(QSize(18, 18), devicePixelRatioF()));
        layout->addWidget(icon);
        auto *label = new QLabel(name, line);
        label->setToolTip(id);
        layout->addWidget(label);
        layout->addStretch();
        auto *remove = new QPushButton(line);
        remove->setFlat(true);
        remove->setIcon(QIcon(QStringLiteral(":/icons/settings/minus-circle.svg")));
        remove->setToolTip(tr("Retirer %1").arg(name));
        remove->setAccessibleName(tr("Retirer %1").arg(name));
        remove->setProperty("applicationName", name);
        connect(remove, &QPushButton::clicked, this, [this, id] { removeExcluded(id); });
        layout->addWidget(remove);
        m_excludedRows->addWidget(line);
    }
}

QList<QPair<QString, QPushButton *>> SettingsWindow::excludedRows() const
{
    QList<QPair<QString, QPushButton *>> rows;
    for (int i = 0; i < m_excludedRows->count(); ++i) {
        QWidget *line = m_excludedRows->itemAt(i)->widget();
        auto *remove = line ? line->findChild<QPushButton *>() : nullptr;
        if (remove)
            rows.append({remove->property("applicationName").toString(), remove});
    }
    return rows;
}

void SettingsWindow::addExcluded()
{
    const std::optional<QString> id
        = m_services.dialogs.chooseApplication(m_services.applications.entries(), m_services.icons);
    if (!id || id->isEmpty())
        return;
    QStringList excluded = m_services.settings.excludedApps();
    if (excluded.contains(*id))
        return;
    excluded.append(*id);
    m_services.settings.setExcludedApps(excluded);
}

void SettingsWindow::removeExcluded(const QString &id)
{
    QStringList excluded = m_services.settings.excludedApps();
    excluded.removeAll(id);
    // Later: the button that asked is among the rows this rebuilds.
    QTimer::singleShot(
        0, this, [this, excluded] { m_services.settings.setExcludedApps(excluded); });
}

} // namespace scrivlet
