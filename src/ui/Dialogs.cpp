// SPDX-License-Identifier: GPL-3.0-or-later
#include "Dialogs.h"

#include "ui/settings/AppChooser.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace scrivlet {

namespace {

void show(QMessageBox::Icon icon, const QString &message, const QString &details)
{
    QMessageBox box(icon, QStringLiteral("Scrivlet"), message);
    box.setInformativeText(details);
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
}

} // namespace

bool QtDialogs::confirm(
    const QString &message, const QString &details, const QString &accept, const QString &cancel)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Scrivlet"), message);
    box.setInformativeText(details);
    QPushButton *acceptButton = box.addButton(accept, QMessageBox::AcceptRole);
    box.addButton(cancel, QMessageBox::RejectRole);
    box.setDefaultButton(acceptButton);
    box.exec();
    return box.clickedButton() == acceptButton;
}

void QtDialogs::inform(const QString &message, const QString &details)
{
    show(QMessageBox::Information, message, details);
}

void QtDialogs::critical(const QString &message, const QString &details)
{
    show(QMessageBox::Critical, message, details);
}

int QtDialogs::choose(const QString &message, const QString &details, const QStringList &buttons)
{
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Scrivlet"), message);
    box.setInformativeText(details);
    QList<QPushButton *> added;
    for (const QString &text : buttons)
        added.append(box.addButton(text, QMessageBox::ActionRole));
    if (!added.isEmpty()) {
        box.setDefaultButton(added.first());
        box.setEscapeButton(added.first());
    }
    box.exec();
    const qsizetype chosen = added.indexOf(qobject_cast<QPushButton *>(box.clickedButton()));
    return chosen < 0 ? 0 : int(chosen);
}

std::optional<QString> QtDialogs::chooseApplication(
    const std::vector<DesktopEntries::Entry> &entries, AppIconCache &icons)
{
    AppChooser chooser(entries, &icons, QApplication::activeWindow());
    chooser.exec();
    return chooser.chosenId();
}

void QtDialogs::beep()
{
    QApplication::beep();
}

} // namespace scrivlet
