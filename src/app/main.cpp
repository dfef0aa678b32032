// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProcessHardening.h"
#include "core/ClipStore.h"
#include "core/Crypto.h"
#include "core/ImageStore.h"
#include "core/KeychainKey.h"
#include "core/ModelContainer.h"
#include "core/Paths.h"
#include "platform/linux/KeyFile.h"
#include "platform/linux/SecretServiceKeyring.h"

#include <QCoreApplication>
#include <QTextStream>

using namespace scrivlet;

int main(int argc, char *argv[])
{
    hardenProcess();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Scrivlet"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SCRIVLET_VERSION));
    QTextStream out(stdout);
    QTextStream err(stderr);

    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains(QStringLiteral("--version"))) {
        out << "scrivlet " << SCRIVLET_VERSION << Qt::endl;
        return 0;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        err << "scrivlet: no desktop session here (neither DISPLAY nor WAYLAND_DISPLAY is set)."
            << Qt::endl;
        return 1;
    }

    auto opened = ModelContainer::open(paths::dataFolder());
    if (!opened) {
        err << "scrivlet: the history cannot be opened: " << opened.error() << Qt::endl;
        return 1;
    }
    std::unique_ptr<ModelContainer> container = std::move(opened).value();

    SecretServiceKeyring secretService;
    KeyFile keyFile(paths::configFolder());
    KeyLoad key = KeychainKey::loadOrCreate(*container, secretService, keyFile);
    if (!key.hasKey()) {
        err << "scrivlet: " << key.message << Qt::endl;
        return 1;
    }
    Crypto::setShared(Crypto(std::move(*key.key)));

    ImageStore images(ImageStore::defaultDirectory(), Crypto::shared());
    ClipStore store(container->mainContext(), images);
    out << "scrivlet: history ready (" << store.recentItems(ClipStore::kDuplicateWindow).size()
        << " recent entries); clipboard capture is not part of this build yet." << Qt::endl;
    return 0;
}
