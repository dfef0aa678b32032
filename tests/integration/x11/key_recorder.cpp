// SPDX-License-Identifier: GPL-3.0-or-later
// Another application, for tests: a window with a line edit that takes the
// focus, says "ready" once it has it, then prints every key press it gets
// ("key V ctrl") and, after a paste, what was pasted ("pasted TEXT").
#include <QApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

namespace {

class RecordingLineEdit : public QLineEdit
{
protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        QString line = QStringLiteral("key ") + QKeySequence(event->key()).toString();
        const Qt::KeyboardModifiers modifiers = event->modifiers();
        for (const auto &[modifier, name] :
            {std::pair {Qt::ControlModifier, "ctrl"}, {Qt::ShiftModifier, "shift"},
                {Qt::AltModifier, "alt"}, {Qt::MetaModifier, "meta"}}) {
            if (modifiers & modifier)
                line += QLatin1Char(' ') + QLatin1String(name);
        }
        QTextStream out(stdout);
        out << line << Qt::endl;
        if (!event->matches(QKeySequence::Paste)) {
            QLineEdit::keyPressEvent(event);
            return;
        }
        // Only this paste's text: the reader compares it whole.
        clear();
        QLineEdit::keyPressEvent(event);
        out << "pasted " << text() << Qt::endl;
    }
};

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    RecordingLineEdit edit;
    edit.setWindowTitle(QStringLiteral("key recorder"));
    edit.resize(300, 40);
    edit.show();
    edit.activateWindow();

    // Keystrokes posted before the focus arrives would go elsewhere. Asked
    // again until granted: a window manager that is still starting may drop
    // the request, or even the window's first mapping.
    auto *wait = new QTimer(&app);
    int ticks = 0;
    QObject::connect(wait, &QTimer::timeout, &app, [&] {
        if (!edit.isActiveWindow() || !edit.hasFocus()) {
            if (++ticks % 50 == 0 && !edit.windowHandle()->isExposed()) {
                edit.hide();
                edit.show();
            }
            edit.activateWindow();
            return;
        }
        wait->stop();
        QTextStream(stdout) << "ready" << Qt::endl;
    });
    wait->start(20);
    return app.exec();
}
