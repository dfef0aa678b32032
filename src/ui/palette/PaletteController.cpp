// SPDX-License-Identifier: GPL-3.0-or-later
#include "PaletteController.h"

#include "PaletteModel.h"
#include "PaletteRowDelegate.h"
#include "PaletteWindow.h"
#include "Thumbnails.h"
#include "core/history/ClipStore.h"
#include "core/services/KeySender.h"
#include "core/settings/AppSettings.h"
#include "core/settings/DefaultsStore.h"
#include "core/settings/PasteKeys.h"
#include "ui/AppIconCache.h"
#include "ui/Paster.h"

#include <QApplication>
#include <QCursor>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QScreen>
#include <cmath>

namespace scrivlet {

namespace {

constexpr int kActivationPollMs = 20;

// A saved dimension: a finite number, at least the minimum, at most what fits.
int dimension(const QJsonValue &value, double fallback, int minimum, int maximum)
{
    double number = value.isDouble() ? value.toDouble() : fallback;
    if (!std::isfinite(number))
        number = fallback;
    return int(std::clamp(number, double(minimum), double(std::max(minimum, maximum))));
}

} // namespace

PaletteController::PaletteController(Services services, QObject *parent)
    : QObject(parent)
    , m_services(services)
{ }

PaletteController::~PaletteController() = default;

bool PaletteController::isVisible() const
{
    return m_window && m_window->isVisible();
}

bool PaletteController::isOwnWindow(quint64 id) const
{
    for (const QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->internalWinId() && quint64(widget->internalWinId()) == id)
            return true;
    }
    return false;
}

QSize PaletteController::savedSize(const QSize &available) const
{
    const int width = dimension(m_services.defaults.value(QStringLiteral("paletteWidth")),
        kDefaultWidth, kMinimumWidth, available.width() - 2 * kScreenMargin);
    const int height = dimension(m_services.defaults.value(QStringLiteral("paletteHeight")),
        kDefaultHeight, kMinimumHeight, available.height() - 2 * kScreenMargin);
    return {width, height};
}

QPoint PaletteController::placeNear(
    const QPoint &pointer, const QSize &size, const QRect &available)
{
    const int lowestX = available.left() + kScreenMargin;
    const int highestX = available.right() + 1 - size.width() - kScreenMargin;
    const int lowestY = available.top() + kScreenMargin;
    const int highestY = available.bottom() + 1 - size.height() - kScreenMargin;
    // Screen coordinates grow downwards here: the top-left corner at the
    // pointer, kept inside; a panel too large keeps the left and top margins.
    return {std::min(std::max(pointer.x(), lowestX), std::max(lowestX, highestX)),
        std::min(std::max(pointer.y(), lowestY), std::max(lowestY, highestY))};
}

void PaletteController::show()
{
    ++m_showCount;
    // Remembered before the palette takes the focus; our own windows are
    // never a paste target.
    m_previous = m_services.workspace.activeWindow();
    if (m_previous && m_services.x11Windows && isOwnWindow(m_previous->id))
        m_previous.reset();

    makeWindow();
    // An application installed since the last showing gets its icon now.
    m_services.icons.forgetMisses();
    m_window->reset();

    const QPoint pointer = QCursor::pos();
    const QRect available = availableAt(pointer);
    m_window->hide(); // a resize while hidden is not the user's
    const QSize size = applySize(available);
    if (m_services.x11Windows)
        m_window->move(placeNear(pointer, size, available));
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    // Window managers that prevent focus stealing honour a pager's request.
    if (m_services.x11Windows)
        m_services.workspace.activate(quint64(m_window->winId()));
    m_window->searchField().setFocus(Qt::ActiveWindowFocusReason);
}

void PaletteController::prepare()
{
    if (isVisible())
        return;
    makeWindow();
    m_window->reset();
    applySize(availableAt(QCursor::pos()));
    // Laid out at the size it opens at: the rows' heights are kept by width.
    m_window->ensurePolished();
    if (QLayout *layout = m_window->layout())
        layout->activate();
    m_window->list().doItemsLayout();
    // Drawn once off screen: the glyphs and icons it shows are then at hand.
    (void)m_window->grab();
}

void PaletteController::makeWindow()
{
    if (m_window)
        return;
    m_thumbnails = std::make_unique<Thumbnails>(m_services.images);
    m_model = std::make_unique<PaletteModel>(m_services.store);
    m_rows = std::make_unique<PaletteRowDelegate>(m_services.icons, *m_thumbnails);
    m_window = std::make_unique<PaletteWindow>(PaletteWindow::Services {
        *m_model, *m_rows, m_services.settings, m_services.scheduler, m_services.layout});
    connect(m_model.get(), &PaletteModel::pasteRequested, this, &PaletteController::paste);
    connect(m_window.get(), &PaletteWindow::closeRequested, this, &PaletteController::hide);
    // Leaving the palette for another window hides it.
    connect(m_window.get(), &PaletteWindow::deactivated, this, &PaletteController::hide);
    connect(m_window.get(), &PaletteWindow::resizedByUser, this, &PaletteController::saveSize);
}

QRect PaletteController::availableAt(const QPoint &pointer)
{
    QScreen *screen = QGuiApplication::screenAt(pointer);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
}

QSize PaletteController::applySize(const QRect &available)
{
    const QSize size = savedSize(available.size());
    if (m_services.x11Windows)
        m_window->resize(size);
    else
        // A fixed size makes tiling compositors float the palette, and they
        // centre it.
        m_window->setFixedSize(size);
    return size;
}

void PaletteController::toggle()
{
    if (isVisible())
        hide();
    else
        show();
}

void PaletteController::hide()
{
    if (m_window)
        m_window->hide();
}

void PaletteController::saveSize(const QSize &size)
{
    m_services.defaults.setValue(QStringLiteral("paletteWidth"), double(size.width()));
    m_services.defaults.setValue(QStringLiteral("paletteHeight"), double(size.height()));
}

void PaletteController::paste(const ClipItemPtr &item, bool plain)
{
    // Gone before the write, which can take a while for a large image.
    hide();
    // Nothing to write (a lost or broken image): the user's clipboard stays
    // as it was, and no keystroke follows.
    const bool written = Paster::writeItem(*item, plain, m_services.images, m_services.pasteboard);
    if (!written || !m_previous)
        return;
    if (!m_services.keys.isTrusted()) {
        Q_EMIT pasteKeystrokeUnavailable();
        return;
    }
    const WindowRef target = *m_previous;
    m_services.workspace.activate(target.id);
    m_services.scheduler.after(kKeystrokeDelayMs, this,
        [this, count = m_showCount, target] { postKeystroke(count, target, kKeystrokeDelayMs); });
}

void PaletteController::postKeystroke(quint64 showCount, const WindowRef &target, int waitedMs)
{
    // Only into the window it was meant for: not after the palette came
    // back, not into whatever else took the focus meanwhile.
    if (showCount != m_showCount || isVisible())
        return;
    const std::optional<WindowRef> active = m_services.workspace.activeWindow();
    if (!active || active->id != target.id) {
        if (waitedMs < kActivationWaitMs)
            m_services.scheduler.after(
                kActivationPollMs, this, [this, showCount, target, waitedMs] {
                    postKeystroke(showCount, target, waitedMs + kActivationPollMs);
                });
        return;
    }
    const PasteKey key = pasteKeyFor(
        target.applicationId, target.windowClass, m_services.applications, m_services.defaults);
    Paster::simulatePasteKeystroke(m_services.keys, key);
}

} // namespace scrivlet
