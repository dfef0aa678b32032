// SPDX-License-Identifier: GPL-3.0-or-later
// Another application, for tests: a window of class NAME with a line edit
// that takes the focus, then owns the clipboard with every format given, and
// says "ready". Until killed it prints each key it gets ("key V ctrl") and
// what a paste put in it ("pasted TEXT").
//   clip_owner [--class NAME] [TYPE=@FILE | TYPE=TEXT]...
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QMimeData>
#include <QTextStream>
#include <QTimer>
#include <QWindow>
#include <QtGui/qguiapplication_platform.h>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/xcb.h>

namespace {

template<typename T>
using Reply = std::unique_ptr<T, decltype(&std::free)>;

// Whether the window manager has named the window active, as the desktop's
// other programs read it: Qt may hear of its focus first.
bool isNamedActive(xcb_window_t window)
{
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *c = x11 ? x11->connection() : nullptr;
    if (!c)
        return false;
    static const char kName[] = "_NET_ACTIVE_WINDOW";
    const Reply<xcb_intern_atom_reply_t> atom(
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, sizeof kName - 1, kName), nullptr),
        &std::free);
    if (!atom)
        return false;
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const Reply<xcb_get_property_reply_t> active(
        xcb_get_property_reply(
            c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr),
        &std::free);
    return active && xcb_get_property_value_length(active.get()) == sizeof(xcb_window_t)
        && *static_cast<xcb_window_t *>(xcb_get_property_value(active.get())) == window;
}

class RecordingLineEdit : public QLineEdit
{
protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        QTextStream out(stdout);
        out << "key " << QKeySequence(event->key()).toString();
        for (const auto &[modifier, name] :
            {std::pair {Qt::ControlModifier, "ctrl"}, {Qt::ShiftModifier, "shift"},
                {Qt::AltModifier, "alt"}, {Qt::MetaModifier, "meta"}}) {
            if (event->modifiers() & modifier)
                out << ' ' << name;
        }
        out << Qt::endl;
        const bool paste = event->matches(QKeySequence::Paste);
        // Only this paste's text: the reader compares it whole.
        if (paste)
            clear();
        QLineEdit::keyPressEvent(event);
        if (paste)
            out << "pasted " << text() << Qt::endl;
    }
};

} // namespace

int main(int argc, char **argv)
{
    // Qt names the window's WM_CLASS after the resource and the application.
    QByteArray windowClass = "ClipOwner";
    auto data = std::make_unique<QMimeData>();
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--class") == 0 && i + 1 < argc) {
            windowClass = argv[++i];
            continue;
        }
        const QString arg = QString::fromLocal8Bit(argv[i]);
        const QString value = arg.section(QLatin1Char('='), 1);
        QFile file(value.mid(1));
        if (value.startsWith(QLatin1Char('@')) && !file.open(QIODevice::ReadOnly))
            return 2;
        data->setData(
            arg.section(QLatin1Char('='), 0, 0), file.isOpen() ? file.readAll() : value.toUtf8());
    }
    // Named before the application starts: newer Qt takes WM_CLASS's class then.
    qputenv("RESOURCE_NAME", windowClass.toLower());
    QApplication::setApplicationName(QString::fromUtf8(windowClass));
    // Announced as its id too, the same on every Qt (6.11 would guess one).
    QApplication::setDesktopFileName(QString::fromUtf8(windowClass));
    QApplication app(argc, argv);

    RecordingLineEdit edit;
    edit.setWindowTitle(QString::fromUtf8(windowClass));
    edit.resize(300, 40);
    edit.show();
    edit.activateWindow();
    // Keystrokes before the focus would go elsewhere, and a copy made before
    // it would not be ours. Asked again until granted: a window manager still
    // starting may drop the request, or even the window's first mapping.
    QTimer wait;
    int ticks = 0;
    QObject::connect(&wait, &QTimer::timeout, &app, [&] {
        if (!edit.isActiveWindow() || !edit.hasFocus()
            || !isNamedActive(xcb_window_t(edit.winId()))) {
            if (++ticks % 50 == 0 && !edit.windowHandle()->isExposed()) {
                edit.hide();
                edit.show();
            }
            edit.activateWindow();
            return;
        }
        wait.stop();
        if (!data->formats().isEmpty())
            QApplication::clipboard()->setMimeData(data.release());
        QTextStream(stdout) << "ready" << Qt::endl;
    });
    wait.start(20);
    return app.exec();
}
