// SPDX-License-Identifier: GPL-3.0-or-later
// Another application, for tests: shows a window of the given WM_CLASS,
// takes the focus, then owns the clipboard with every format given, and keeps
// serving it until killed.
//   clip_owner --class NAME [--gtk-id ID] TYPE=@FILE | TYPE=TEXT ...
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QMimeData>
#include <QTextStream>
#include <QTimer>
#include <QWidget>
#include <QtGui/qguiapplication_platform.h>
#include <cstring>
#include <xcb/xcb.h>

namespace {

void setStringProperty(xcb_connection_t *c, xcb_window_t window, const char *name, const char *type,
    const QByteArray &value)
{
    auto internAtom = [c](const char *atomName) {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, uint16_t(std::strlen(atomName)), atomName), nullptr);
        const xcb_atom_t atom = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(reply);
        return atom;
    };
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, window, internAtom(name), internAtom(type), 8,
        uint32_t(value.size()), value.constData());
    xcb_flush(c);
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QByteArray windowClass = "ClipOwner";
    QByteArray gtkId;
    auto data = new QMimeData;
    for (int i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--class") && i + 1 < args.size()) {
            windowClass = args[++i].toUtf8();
        } else if (args[i] == QLatin1String("--gtk-id") && i + 1 < args.size()) {
            gtkId = args[++i].toUtf8();
        } else {
            const qsizetype equals = args[i].indexOf(QLatin1Char('='));
            const QString type = args[i].left(equals);
            const QString value = args[i].mid(equals + 1);
            QByteArray bytes = value.toUtf8();
            if (value.startsWith(QLatin1Char('@'))) {
                QFile file(value.mid(1));
                if (!file.open(QIODevice::ReadOnly))
                    return 2;
                bytes = file.readAll();
            }
            data->setData(type, bytes);
        }
    }

    QWidget window;
    window.setWindowTitle(QString::fromUtf8(windowClass));
    window.resize(200, 100);
    window.show();
    auto *x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    const auto id = xcb_window_t(window.winId());
    setStringProperty(x11->connection(), id, "WM_CLASS", "STRING",
        windowClass.toLower() + '\0' + windowClass + '\0');
    if (!gtkId.isEmpty())
        setStringProperty(x11->connection(), id, "_GTK_APPLICATION_ID", "UTF8_STRING", gtkId);
    window.activateWindow();

    // Own the clipboard only once in front, so that the copy's source is us.
    auto *wait = new QTimer(&app);
    QObject::connect(wait, &QTimer::timeout, &app, [&, data] {
        if (!window.isActiveWindow())
            return;
        wait->stop();
        QApplication::clipboard()->setMimeData(data);
        QTextStream(stdout) << "ready" << Qt::endl;
    });
    wait->start(20);
    return app.exec();
}
