// SPDX-License-Identifier: GPL-3.0-or-later
#include "GnomePasteboard.h"

#include "core/capture/MimeSnapshot.h"

#include <QDebug>
#include <QMetaObject>

namespace scrivlet {

namespace {

const QString kOriginKept = QStringLiteral("kept");
const QString kOriginNone = QStringLiteral("none");
const QString kOriginScrivlet = QStringLiteral("scrivlet");

const QStringList kOfferedTextTypes = {QStringLiteral("text/plain;charset=utf-8"),
    QStringLiteral("UTF8_STRING"), mime::kText, QStringLiteral("TEXT"), QStringLiteral("STRING")};

// One announced copy, each type read from the extension when asked for.
class ShellSnapshot : public PasteboardSnapshot
{
public:
    ShellSnapshot(
        const ShellBridge &bridge, const ClipboardLimits &limits, quint32 serial, QStringList types)
        : m_bridge(bridge)
        , m_limits(limits)
        , m_serial(serial)
        , m_types(std::move(types))
    { }
    [[nodiscard]] bool hasType(const QString &type) const override
    {
        return m_types.contains(type);
    }
    [[nodiscard]] std::optional<QByteArray> data(const QString &type) const override
    {
        if (!hasType(type))
            return std::nullopt;
        QString why;
        std::optional<QByteArray> bytes
            = m_bridge.read(m_serial, type, m_limits.capFor(type), m_limits.deadlineMs, &why);
        if (!bytes && m_why.isEmpty())
            m_why = why;
        return bytes;
    }
    // Why the first type that could not be read was not.
    [[nodiscard]] QString why() const { return m_why; }

private:
    const ShellBridge &m_bridge;
    const ClipboardLimits m_limits;
    const quint32 m_serial;
    const QStringList m_types;
    mutable QString m_why;
};

} // namespace

void ShellCopyCounter::note(const ShellBridge::Selection &selection)
{
    if (selection.origin == kOriginKept)
        return;
    // Asked at attach: the copy in place before is no change, and one
    // already counted is not counted twice.
    const bool known = !m_serial || *m_serial == selection.serial;
    if (selection.announced || !known)
        ++m_count;
    m_serial = selection.serial;
    m_origin = selection.origin;
}

QString ShellCopyCounter::originOf(const ShellBridge::Selection &current) const
{
    return current.origin == kOriginKept && m_serial ? m_origin : current.origin;
}

GnomePasteboard::GnomePasteboard(ShellBridge &bridge, ClipboardLimits limits, QObject *parent)
    : QObject(parent)
    , m_bridge(bridge)
    , m_limits(limits)
{
    m_reader.setObjectName(QStringLiteral("scrivlet-gnome-reader"));
    m_readerContext.moveToThread(&m_reader);
    m_reader.start();
    connect(&m_bridge, &ShellBridge::selectionChanged, this, [this] {
        const qint64 before = m_counter.count();
        m_counter.note(m_bridge.selection());
        if (m_counter.count() != before)
            announceChange();
    });
}

GnomePasteboard::~GnomePasteboard()
{
    // A read under way ends within its deadline; those not begun are dropped.
    m_reader.quit();
    m_reader.wait();
}

void GnomePasteboard::read(ReadScope scope, ReadHandler handler)
{
    const ShellBridge::Selection selection = m_bridge.selection();
    const bool attached = m_bridge.isAttached();
    const QString origin = m_counter.originOf(selection);
    // Every answer goes through the reader, so that answers keep the order
    // of their questions.
    QMetaObject::invokeMethod(
        &m_readerContext,
        [this, scope, attached, origin, selection, written = m_written,
            handler = std::move(handler)]() mutable {
            ClipboardRead read;
            QString why;
            if (!attached) {
                // Nothing known of the clipboard: nothing to say of it.
            } else if (origin == kOriginNone) {
                read.owner = ClipboardRead::Owner::vanished;
            } else if (origin == kOriginScrivlet) {
                MimeSnapshot own;
                for (const auto &[type, bytes] : std::as_const(written))
                    own.set(type, bytes);
                read = readClipboard(own, scope, true);
            } else {
                const ShellSnapshot snapshot(m_bridge, m_limits, selection.serial,
                    selection.types.mid(0, m_limits.maxTargets));
                read = readClipboard(snapshot, scope);
                if (scope == ReadScope::contents && !read.content)
                    why = snapshot.why();
            }
            QMetaObject::invokeMethod(
                this,
                [handler = std::move(handler), read, why] {
                    // Nothing recorded for this change: said once.
                    if (!why.isEmpty())
                        qWarning().noquote()
                            << QStringLiteral("Scrivlet: clipboard not recorded: ") + why;
                    handler(read);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void GnomePasteboard::write(const Representations &representations)
{
    m_written = representations;
    m_bridge.setClipboard(offered(representations));
}

Pasteboard::Representations GnomePasteboard::offered(const Representations &representations)
{
    Representations formats;
    for (const auto &[type, bytes] : representations) {
        if (type != mime::kText) {
            formats.append({type, bytes});
            continue;
        }
        for (const QString &name : kOfferedTextTypes)
            formats.append({name,
                name == QLatin1String("STRING") ? QString::fromUtf8(bytes).toLatin1() : bytes});
    }
    return formats;
}

} // namespace scrivlet
