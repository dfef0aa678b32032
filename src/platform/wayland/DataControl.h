// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/linux/UniqueFd.h"

#include <QByteArrayList>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <map>
#include <memory>

struct wl_display;
struct wl_proxy;
struct wl_registry;

namespace scrivlet {

// An application's copy as the compositor describes it; the offer goes with
// its last holder.
struct DataOffer
{
    wl_proxy *proxy = nullptr;
    QStringList types;

    explicit DataOffer(wl_proxy *offer)
        : proxy(offer)
    { }
    ~DataOffer();
    DataOffer(const DataOffer &) = delete;
    DataOffer &operator=(const DataOffer &) = delete;
};

// A data-control protocol (ext, else wlr) on a connection of our own: the
// clipboard's events in, the requests that read and own it out. Whoever
// dispatches the connection's events hears them, on that thread.
class DataControl
{
public:
    class Events
    {
    public:
        // The clipboard's copy now; null when it was emptied.
        virtual void selected(std::shared_ptr<DataOffer> offer) = 0;
        // The same for the primary selection, where the protocol has it.
        virtual void primarySelected(std::shared_ptr<DataOffer> offer) = 0;
        // The compositor ended data control for us.
        virtual void finished() = 0;
        // A reader asks one of our sources for `type`, to be written to `fd`.
        virtual void sendRequested(wl_proxy *source, const QByteArray &type, UniqueFd fd) = 0;
        // Another copy replaced the source, which is destroyed right after.
        virtual void cancelled(wl_proxy *source) = 0;
        virtual ~Events() = default;
    };

    DataControl() = default;
    ~DataControl();
    DataControl(const DataControl &) = delete;
    DataControl &operator=(const DataControl &) = delete;

    // Connects, binds the seat and a data-control manager and hears the
    // current copy; false, with why(), when the compositor does not allow it.
    [[nodiscard]] bool open(Events &events);
    [[nodiscard]] QString why() const { return m_why; }
    // The protocol in use, empty when none.
    [[nodiscard]] QString protocolName() const;
    [[nodiscard]] wl_display *display() const { return m_display; }

    // A source offering `types`, made the clipboard's and sent.
    wl_proxy *setSelection(const QByteArrayList &types);
    void destroySource(wl_proxy *source);
    // Asks the offer's owner to write `type` to `fd`; false when the
    // connection broke.
    [[nodiscard]] bool receive(const DataOffer &offer, const QByteArray &type, int fd);

private:
    struct Protocol;
    struct Listeners;

    void global(wl_registry *registry, uint32_t name, const char *interface, uint32_t version);
    [[nodiscard]] std::shared_ptr<DataOffer> introduced(wl_proxy *offer);

    Events *m_events = nullptr;
    QString m_why;
    wl_display *m_display = nullptr;
    wl_registry *m_registry = nullptr;
    wl_proxy *m_seat = nullptr;
    wl_proxy *m_manager = nullptr;
    wl_proxy *m_device = nullptr;
    const Protocol *m_protocol = nullptr;
    bool m_bound = false;
    // Offers announced, not yet made the selection.
    std::map<wl_proxy *, std::shared_ptr<DataOffer>> m_introduced;
};

} // namespace scrivlet
