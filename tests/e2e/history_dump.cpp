// SPDX-License-Identifier: GPL-3.0-or-later
// Test tool: prints the history of $XDG_DATA_HOME/Scrivlet as Scrivlet's own
// code reads it, one entry a line in display order:
//   kind<TAB>pinned<TAB>source<TAB>byteSize<TAB>text (line feeds as \n)
// The key comes from the session's keyring; nothing is created or changed,
// except with `--seed N`, which records N texts (Scrivlet not running).
#include "core/Paths.h"
#include "core/crypto/Crypto.h"
#include "core/crypto/KeychainKey.h"
#include "core/history/ClipStore.h"
#include "core/history/ModelContainer.h"
#include "platform/linux/SecretServiceKeyring.h"

#include <QCoreApplication>
#include <QTextStream>
#include <algorithm>

using namespace scrivlet;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    auto container = ModelContainer::open(paths::dataFolder());
    if (!container) {
        err << container.error() << Qt::endl;
        return 1;
    }
    const Result<KeyRecord> record = KeychainKey::readRecord(*container.value());
    SecretServiceKeyring keyring;
    const Keyring::Lookup found = keyring.lookup(Keyring::Prompt::never);
    const auto key = !record || !record.value().check
        ? found.secrets.end()
        : std::ranges::find_if(found.secrets, [&](const SecretBytes &secret) {
              return KeychainKey::keyCheck(secret) == *record.value().check;
          });
    if (key == found.secrets.end()) {
        err << "no key for this history" << Qt::endl;
        return 1;
    }
    Crypto::setShared(Crypto(*key));
    ClipStore store(container.value()->mainContext(),
        ImageStore(ImageStore::defaultDirectory(), Crypto::shared()));
    if (const qsizetype seed = app.arguments().indexOf(QStringLiteral("--seed")); seed > 0) {
        const int count = app.arguments().value(seed + 1).toInt();
        for (int i = 0; i < count; ++i)
            store.recordContent(ClipContent::text(QStringLiteral("Entrée %1 : le café de la gare "
                                                                 "ouvre à sept heures")
                                                      .arg(i)),
                QStringLiteral("org.example.Editor"));
        return 0;
    }
    for (const ClipItemPtr &item : store.recentItems(1000)) {
        QString text = item->text();
        if (item->kind() == ClipKind::image) {
            const auto bytes = store.imageStore().read(item->imageFileRef().value_or(QString()));
            text = bytes ? QStringLiteral("<%1 image bytes>").arg(bytes->size())
                         : QStringLiteral("<missing image>");
        }
        out << rawValue(item->kind()) << '\t' << (item->isPinned() ? "pinned" : "-") << '\t'
            << item->sourceAppBundleID().value_or(QStringLiteral("-")) << '\t' << item->byteSize()
            << '\t' << text.replace(QLatin1Char('\n'), QLatin1String("\\n")) << '\n';
    }
    return 0;
}
