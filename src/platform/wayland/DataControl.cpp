// SPDX-License-Identifier: GPL-3.0-or-later
#include "DataControl.h"

#include "ext-data-control-v1-client.h"
#include "wlr-data-control-unstable-v1-client.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <wayland-client.h>

namespace scrivlet {

// The ext and wlr data-control protocols have the same requests and events
// in the same order: one code path speaks both through the raw proxy calls,
// with the interfaces of the one the compositor offers.
static_assert(EXT_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE
    == ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE);
static_assert(
    EXT_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE == ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE);
static_assert(EXT_DATA_CONTROL_MANAGER_V1_DESTROY == ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY);
static_assert(
    EXT_DATA_CONTROL_DEVICE_V1_SET_SELECTION == ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION);
static_assert(EXT_DATA_CONTROL_DEVICE_V1_DESTROY == ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY);
static_assert(EXT_DATA_CONTROL_SOURCE_V1_OFFER == ZWLR_DATA_CONTROL_SOURCE_V1_OFFER);
static_assert(EXT_DATA_CONTROL_SOURCE_V1_DESTROY == ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY);
static_assert(EXT_DATA_CONTROL_OFFER_V1_RECEIVE == ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE);
static_assert(EXT_DATA_CONTROL_OFFER_V1_DESTROY == ZWLR_DATA_CONTROL_OFFER_V1_DESTROY);

struct DataControl::Protocol
{
    const wl_interface *manager;
    const wl_interface *device;
    const wl_interface *source;
    uint32_t maxVersion;

    static const Protocol ext;
    static const Protocol wlr;
};

const DataControl::Protocol DataControl::Protocol::ext {&ext_data_control_manager_v1_interface,
    &ext_data_control_device_v1_interface, &ext_data_control_source_v1_interface, 1};
// Version 2 adds the primary selection.
const DataControl::Protocol DataControl::Protocol::wlr {&zwlr_data_control_manager_v1_interface,
    &zwlr_data_control_device_v1_interface, &zwlr_data_control_source_v1_interface, 2};

namespace {

// The listeners' shapes, shared by both protocols.
struct DeviceListener
{
    void (*dataOffer)(void *, wl_proxy *, wl_proxy *);
    void (*selection)(void *, wl_proxy *, wl_proxy *);
    void (*finished)(void *, wl_proxy *);
    void (*primarySelection)(void *, wl_proxy *, wl_proxy *);
};
struct OfferListener
{
    void (*offer)(void *, wl_proxy *, const char *);
};
struct SourceListener
{
    void (*send)(void *, wl_proxy *, const char *, int32_t);
    void (*cancelled)(void *, wl_proxy *);
};

template<typename Listener>
void listen(wl_proxy *proxy, const Listener &listener, void *data)
{
    // libwayland takes the table as mutable but never writes it.
    wl_proxy_add_listener(
        proxy, reinterpret_cast<void (**)(void)>(const_cast<Listener *>(&listener)), data);
}

void destroyProxy(wl_proxy *proxy, uint32_t opcode)
{
    wl_proxy_marshal_flags(
        proxy, opcode, nullptr, wl_proxy_get_version(proxy), WL_MARSHAL_FLAG_DESTROY);
}

} // namespace

struct DataControl::Listeners
{
    static DataControl &self(void *data) { return *static_cast<DataControl *>(data); }

    static void global(
        void *data, wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
    {
        self(data).global(registry, name, interface, version);
    }
    static void globalRemove(void *, wl_registry *, uint32_t) { }

    static void dataOffer(void *data, wl_proxy *, wl_proxy *proxy)
    {
        auto offer = std::make_shared<DataOffer>(proxy);
        listen(proxy, offerListener, offer.get());
        self(data).m_introduced[proxy] = std::move(offer);
    }
    static void offerType(void *data, wl_proxy *, const char *type)
    {
        static_cast<DataOffer *>(data)->types << QString::fromUtf8(type);
    }
    static void selection(void *data, wl_proxy *, wl_proxy *offer)
    {
        DataControl &control = self(data);
        control.m_events->selected(control.introduced(offer));
    }
    static void finished(void *data, wl_proxy *) { self(data).m_events->finished(); }
    static void primarySelection(void *data, wl_proxy *, wl_proxy *offer)
    {
        DataControl &control = self(data);
        control.m_events->primarySelected(control.introduced(offer));
    }

    static void send(void *data, wl_proxy *source, const char *type, int32_t fd)
    {
        self(data).m_events->sendRequested(source, QByteArray(type), UniqueFd(fd));
    }
    static void cancelled(void *data, wl_proxy *source)
    {
        self(data).m_events->cancelled(source);
        destroyProxy(source, ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY);
    }

    static constexpr wl_registry_listener registryListener {global, globalRemove};
    static constexpr DeviceListener deviceListener {
        dataOffer, selection, finished, primarySelection};
    static constexpr OfferListener offerListener {offerType};
    static constexpr SourceListener sourceListener {send, cancelled};
};

DataOffer::~DataOffer()
{
    if (proxy)
        destroyProxy(proxy, ZWLR_DATA_CONTROL_OFFER_V1_DESTROY);
}

bool DataControl::open(Events &events)
{
    m_events = &events;
    m_display = wl_display_connect(nullptr);
    if (!m_display) {
        m_why = QStringLiteral("no Wayland compositor to connect to");
        return false;
    }
    m_registry = wl_display_get_registry(m_display);
    wl_registry_add_listener(m_registry, &Listeners::registryListener, this);
    if (wl_display_roundtrip(m_display) < 0) {
        m_why = QStringLiteral("the compositor closed the connection");
        return false;
    }
    if (!m_seat || !m_manager) {
        m_why = !m_seat ? QStringLiteral("the compositor has no seat")
                        : QStringLiteral("the compositor offers no data-control protocol");
        return false;
    }
    m_device = static_cast<wl_proxy *>(
        wl_proxy_marshal_flags(m_manager, ZWLR_DATA_CONTROL_MANAGER_V1_GET_DATA_DEVICE,
            m_protocol->device, wl_proxy_get_version(m_manager), 0, nullptr, m_seat));
    listen(m_device, Listeners::deviceListener, this);
    // The current copy arrives now, before anyone watches the count.
    if (wl_display_roundtrip(m_display) < 0 || !m_device) {
        m_why = QStringLiteral("the compositor refused data control");
        return false;
    }
    m_bound = true;
    return true;
}

DataControl::~DataControl()
{
    m_introduced.clear();
    if (m_device)
        destroyProxy(m_device, ZWLR_DATA_CONTROL_DEVICE_V1_DESTROY);
    if (m_manager)
        destroyProxy(m_manager, ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY);
    if (m_seat)
        wl_proxy_destroy(m_seat);
    if (m_registry)
        wl_registry_destroy(m_registry);
    if (m_display)
        wl_display_disconnect(m_display);
}

QString DataControl::protocolName() const
{
    if (!m_manager)
        return {};
    return QLatin1String(m_protocol->manager->name);
}

void DataControl::global(
    wl_registry *registry, uint32_t name, const char *interface, uint32_t version)
{
    // What the compositor offers later is not taken up: the protocol in
    // use is read from the main thread.
    if (m_bound)
        return;
    const auto bind = [&](const wl_interface *type, uint32_t maxVersion) {
        return static_cast<wl_proxy *>(
            wl_registry_bind(registry, name, type, std::min(version, maxVersion)));
    };
    if (std::strcmp(interface, wl_seat_interface.name) == 0 && !m_seat) {
        m_seat = bind(&wl_seat_interface, 1);
    } else if (std::strcmp(interface, Protocol::ext.manager->name) == 0) {
        // The standard protocol wins over the wlroots one.
        if (m_manager)
            destroyProxy(m_manager, ZWLR_DATA_CONTROL_MANAGER_V1_DESTROY);
        m_protocol = &Protocol::ext;
        m_manager = bind(Protocol::ext.manager, Protocol::ext.maxVersion);
    } else if (std::strcmp(interface, Protocol::wlr.manager->name) == 0
        && m_protocol != &Protocol::ext) {
        m_protocol = &Protocol::wlr;
        m_manager = bind(Protocol::wlr.manager, Protocol::wlr.maxVersion);
    }
}

std::shared_ptr<DataOffer> DataControl::introduced(wl_proxy *proxy)
{
    std::shared_ptr<DataOffer> offer;
    if (proxy) {
        const auto it = m_introduced.find(proxy);
        if (it != m_introduced.end()) {
            offer = std::move(it->second);
            m_introduced.erase(it);
        }
    }
    return offer;
}

wl_proxy *DataControl::setSelection(const QByteArrayList &types)
{
    auto *source = static_cast<wl_proxy *>(
        wl_proxy_marshal_flags(m_manager, ZWLR_DATA_CONTROL_MANAGER_V1_CREATE_DATA_SOURCE,
            m_protocol->source, wl_proxy_get_version(m_manager), 0, nullptr));
    listen(source, Listeners::sourceListener, this);
    for (const QByteArray &type : types)
        wl_proxy_marshal_flags(source, ZWLR_DATA_CONTROL_SOURCE_V1_OFFER, nullptr,
            wl_proxy_get_version(source), 0, type.constData());
    wl_proxy_marshal_flags(m_device, ZWLR_DATA_CONTROL_DEVICE_V1_SET_SELECTION, nullptr,
        wl_proxy_get_version(m_device), 0, source);
    wl_display_flush(m_display);
    return source;
}

void DataControl::destroySource(wl_proxy *source)
{
    destroyProxy(source, ZWLR_DATA_CONTROL_SOURCE_V1_DESTROY);
}

bool DataControl::receive(const DataOffer &offer, const QByteArray &type, int fd)
{
    wl_proxy_marshal_flags(offer.proxy, ZWLR_DATA_CONTROL_OFFER_V1_RECEIVE, nullptr,
        wl_proxy_get_version(offer.proxy), 0, type.constData(), fd);
    return wl_display_flush(m_display) >= 0 || errno == EAGAIN;
}

} // namespace scrivlet
