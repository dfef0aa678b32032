// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The test display and the other clients on it: our own tools (clip_owner,
// hostile_owner, grab_holder), started and heard line by line, and xclip.

#include "support/WaitFor.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImageWriter>
#include <QProcess>
#include <QtGui/qguiapplication_platform.h>
#include <cstring>
#include <optional>
#include <xcb/xcb.h>

namespace scrivlet::testing {

inline xcb_connection_t *x11Connection()
{
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

inline xcb_atom_t atom(const char *name)
{
    xcb_connection_t *c = x11Connection();
    xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
    std::free(reply);
    return value;
}

// An image as an application would copy it.
inline QByteArray encoded(const QImage &image, const char *format, int quality = -1)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    return writer.write(image) ? bytes : QByteArray();
}

// One of our tools, running until the test lets it go.
class Probe
{
public:
    Probe(const char *program, const QStringList &arguments)
    {
        m_process.start(QString::fromUtf8(program), arguments);
    }
    ~Probe() { stop(); }
    Probe(const Probe &) = delete;
    Probe &operator=(const Probe &) = delete;

    // Whether it has said `line`, waiting for it while it runs.
    bool says(const QByteArray &line)
    {
        waitFor(
            [&] { return lines().contains(line) || m_process.state() == QProcess::NotRunning; });
        return lines().contains(line);
    }
    QByteArrayList lines()
    {
        while (m_process.canReadLine())
            m_lines.append(m_process.readLine().trimmed());
        return m_lines;
    }
    std::string errors() { return m_process.readAllStandardError().toStdString(); }
    void stop()
    {
        m_process.kill();
        m_process.waitForFinished();
    }

private:
    QProcess m_process;
    QByteArrayList m_lines;
};

// xclip on the CLIPBOARD; nothing when it fails. We may be the owner, and Qt
// answers other clients from the event loop, so the loop turns meanwhile.
inline std::optional<QByteArray> xclip(
    QStringList arguments, const std::optional<QByteArray> &input = std::nullopt)
{
    QProcess process;
    process.start("xclip",
        arguments << "-selection"
                  << "clipboard");
    if (input) {
        process.write(*input);
        process.closeWriteChannel();
    }
    if (!waitFor([&] { return process.state() == QProcess::NotRunning; })) {
        process.kill();
        process.waitForFinished();
        return std::nullopt;
    }
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

// What another client gets for `target`; nothing when the owner refuses it.
inline std::optional<QByteArray> readTarget(const QString &target)
{
    return xclip({"-o", "-t", target});
}

// The user copies with xclip, which then owns the clipboard until another
// copy. True once it serves the text.
inline bool copyWithXclip(const QByteArray &text)
{
    return xclip({"-i"}, text) && waitFor([&] { return readTarget("UTF8_STRING") == text; });
}

} // namespace scrivlet::testing
