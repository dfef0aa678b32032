// SPDX-License-Identifier: GPL-3.0-or-later
// Test tool: a window that takes the focus and logs every key it receives,
//   key <keysym in hex> <modifier state in hex>
// and the text of its field after each change, `text <text>`. Ctrl+V (and
// Ctrl+Shift+V, Shift+Insert) paste into the field as in any Qt program.
//   key_probe [--class NAME]
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTextStream>
#include <QTimer>
#include <QtGui/qguiapplication_platform.h>
#include <cstring>
#include <xcb/xcb.h>

namespace {

class Field : public QLineEdit
{
protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        QTextStream(stdout) << "key " << Qt::hex << event->nativeVirtualKey() << ' '
                            << event->nativeModifiers() << Qt::endl;
        // Ctrl+Shift+V pastes here too, as terminals do.
        if (event->key() == Qt::Key_V
            && event->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier)) {
            paste();
            return;
        }
        QLineEdit::keyPressEvent(event);
    }
};

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QByteArray windowClass = "KeyProbe";
    for (int i = 1; i + 1 < argc; ++i) {
        if (std::strcmp(argv[i], "--class") == 0)
            windowClass = argv[i + 1];
    }
    // Named before the application starts, and announced as its id: Qt 6.11
    // would announce the executable's name.
    QApplication::setApplicationName(QString::fromUtf8(windowClass));
    QApplication::setDesktopFileName(QString::fromUtf8(windowClass));
    QApplication app(argc, argv);
    Field field;
    field.setWindowTitle(QStringLiteral("key probe"));
    field.resize(500, 40);
    field.move(40, 600);
    QObject::connect(&field, &QLineEdit::textChanged,
        [](const QString &text) { QTextStream(stdout) << "text " << text << Qt::endl; });
    field.show();
    auto *x11 = app.nativeInterface<QNativeInterface::QX11Application>();
    const QByteArray value = windowClass.toLower() + '\0' + windowClass + '\0';
    xcb_change_property(x11->connection(), XCB_PROP_MODE_REPLACE, xcb_window_t(field.winId()),
        XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 8, uint32_t(value.size()), value.constData());
    xcb_flush(x11->connection());
    field.activateWindow();
    QTimer ready;
    QObject::connect(&ready, &QTimer::timeout, [&] {
        if (field.isActiveWindow()) {
            ready.stop();
            QTextStream(stdout) << "ready " << field.winId() << Qt::endl;
        }
    });
    ready.start(20);
    return app.exec();
}
