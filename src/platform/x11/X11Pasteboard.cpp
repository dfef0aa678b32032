// SPDX-License-Identifier: GPL-3.0-or-later
#include "X11Pasteboard.h"

#include "X11ClipboardReader.h"
#include "core/capture/MimeSnapshot.h"
#include "platform/linux/QtClipboardWriter.h"

#include <QClipboard>
#include <QDebug>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>

namespace scrivlet {

X11Pasteboard::X11Pasteboard(X11ClipboardReader *reader, X11Selection selection, QObject *parent)
    : QObject(parent)
    , m_reader(reader)
    , m_mode(selection == X11Selection::primary ? QClipboard::Selection : QClipboard::Clipboard)
{
    connect(
        QGuiApplication::clipboard(), &QClipboard::changed, this, [this](QClipboard::Mode mode) {
            if (mode != m_mode)
                return;
            ++m_changeCount;
            announceChange();
        });
}

namespace {

// Qt's view of the clipboard: our own data in memory, another
// application's fetched by Qt, which waits for the owner.
class QtSnapshot : public PasteboardSnapshot
{
public:
    explicit QtSnapshot(const QMimeData &data)
        : m_data(data)
        , m_offered(data.formats())
    { }

    [[nodiscard]] bool hasType(const QString &type) const override
    {
        return m_offered.contains(type);
    }
    [[nodiscard]] std::optional<QByteArray> data(const QString &type) const override
    {
        if (!m_offered.contains(type))
            return std::nullopt;
        // Qt converts the text targets itself, and keeps ours as text.
        const QByteArray bytes = type == mime::kText ? m_data.text().toUtf8() : m_data.data(type);
        // An owner that offered a type and delivered nothing could not supply it.
        if (bytes.isNull())
            return std::nullopt;
        return bytes;
    }

private:
    const QMimeData &m_data;
    const QStringList m_offered;
};

} // namespace

bool X11Pasteboard::ownsSelection() const
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    return m_mode == QClipboard::Selection ? clipboard->ownsSelection()
                                           : clipboard->ownsClipboard();
}

ClipboardRead X11Pasteboard::readThroughQt(ReadScope scope) const
{
    // What Qt holds for us is ours: only Scrivlet writes through it, and
    // only Scrivlet's windows select through it.
    const bool own = ownsSelection();
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(m_mode);
    if (!data)
        return readClipboard(MimeSnapshot(), scope, own);
    return readClipboard(QtSnapshot(*data), scope, own);
}

void X11Pasteboard::read(ReadScope scope, ReadHandler handler)
{
    auto pending = std::make_shared<Pending>();
    pending->handler = std::move(handler);
    m_pending.push_back(pending);
    if (!m_reader || ownsSelection()) {
        pending->read = readThroughQt(scope);
        pending->ready = true;
        deliverReady();
        return;
    }
    m_reader->read(scope,
        [self = QPointer<X11Pasteboard>(this), pending](ClipboardRead read, const QString &why) {
            if (!self)
                return;
            // Nothing recorded for this change: said once.
            if (!why.isEmpty())
                qWarning().noquote() << QStringLiteral("Scrivlet: clipboard not recorded: ") + why;
            pending->read = std::move(read);
            pending->ready = true;
            self->deliverReady();
        });
}

void X11Pasteboard::deliverReady()
{
    while (!m_pending.empty() && m_pending.front()->ready) {
        const std::shared_ptr<Pending> next = m_pending.front();
        m_pending.pop_front();
        next->handler(next->read);
    }
}

void X11Pasteboard::write(const Representations &representations)
{
    // Scrivlet puts entries back on the clipboard only; the selection stays
    // what the user selected.
    if (m_mode == QClipboard::Selection)
        return;
    writeThroughQt(representations);
}

} // namespace scrivlet
