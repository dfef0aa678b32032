// SPDX-License-Identifier: GPL-3.0-or-later
// Test tool: prints the history of $XDG_DATA_HOME/Scrivlet as Scrivlet's own
// code reads it, one entry a line in display order:
//   kind<TAB>pinned<TAB>source<TAB>byteSize<TAB>text (line feeds as \n)
// With `--formats`, the formatted forms in place of pinned, source and size:
//   kind<TAB>RTF or -<TAB>HTML or -<TAB>text
// The key comes from the session's keyring; nothing is created or changed,
// except with `--seed N`, which records N entries (Scrivlet not running).
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

namespace {

// Entry `i` of a seeded history: about 200 characters, one in twenty an
// image (a 1x1 PNG, made distinct by bytes after its end).
ClipContent seedContent(int i)
{
    if (i % 20 == 19) {
        const QByteArray png
            = QByteArray::fromBase64("iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUl"
                                     "EQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");
        return ClipContent::image(png + QByteArray::number(i));
    }
    QString text = QStringLiteral("Entrée %1 : le café de la gare ouvre à sept heures").arg(i);
    while (text.size() < 200)
        text += QStringLiteral(", puis le marché du quai");
    return ClipContent::text(text);
}

} // namespace

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
            store.recordContent(seedContent(i), QStringLiteral("org.example.Editor"));
        return 0;
    }
    const auto oneLine
        = [](QString text) { return text.replace(QLatin1Char('\n'), QLatin1String("\\n")); };
    const bool formats = app.arguments().contains(QStringLiteral("--formats"));
    for (const ClipItemPtr &item : store.recentItems(1000)) {
        if (formats) {
            const auto shown = [&](const std::optional<QByteArray> &bytes) {
                return bytes ? oneLine(QString::fromUtf8(*bytes)) : QStringLiteral("-");
            };
            out << rawValue(item->kind()) << '\t' << shown(item->richData()) << '\t'
                << shown(item->html()) << '\t' << oneLine(item->text()) << '\n';
            continue;
        }
        QString text = item->text();
        if (item->kind() == ClipKind::image) {
            const auto bytes = store.imageStore().read(item->imageFileRef().value_or(QString()));
            text = bytes ? QStringLiteral("<%1 image bytes>").arg(bytes->size())
                         : QStringLiteral("<missing image>");
        }
        out << rawValue(item->kind()) << '\t' << (item->isPinned() ? "pinned" : "-") << '\t'
            << item->sourceAppBundleID().value_or(QStringLiteral("-")) << '\t' << item->byteSize()
            << '\t' << oneLine(text) << '\n';
    }
    return 0;
}
