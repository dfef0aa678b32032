// SPDX-License-Identifier: GPL-3.0-or-later
// Works on a history until it is killed; the crash test kills it at random
// moments and checks what it leaves behind.
//
// Usage: crash_writer FOLDER KEY_HEX SEED
// Prints "ready" once the store is open.
#include "core/crypto/Crypto.h"
#include "core/history/ClipStore.h"
#include "core/history/ModelContainer.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <random>

using namespace scrivlet;

namespace {

// A mix of one-, two-, three- and four-byte UTF-8 sequences, so that the
// recorded byte size differs from the character count.
const char32_t kAlphabet[] = {U'a', U'b', U'c', U'x', U'y', U'z', U'0', U'7', U' ', U'\n', U'.',
    U'é', U'ß', U'Ж', U'漢', U'字', U'\U0001F600'};

// Keeps a long run from growing without bound.
constexpr qint64 kDefaultLimit = 120;

std::mt19937_64 g_random;

int uniform(int low, int high)
{
    return std::uniform_int_distribution<int>(low, high)(g_random);
}

QString randomText()
{
    const int band = uniform(0, 9);
    const int length = band < 6 ? uniform(1, 200)
        : band < 9              ? uniform(200, 4000)
                                : uniform(4000, 60000);
    QString text;
    text.reserve(length * 2);
    for (int i = 0; i < length; ++i)
        text += QString::fromUcs4(&kAlphabet[uniform(0, int(std::size(kAlphabet)) - 1)], 1);
    return text;
}

// Bytes that depend only on `seed`: equal seeds give a repeated content,
// also across runs of this program.
QByteArray bytesFor(std::uint64_t seed, int size)
{
    std::mt19937_64 random(seed);
    QByteArray bytes(size, Qt::Uninitialized);
    for (char &byte : bytes)
        byte = char(random());
    return bytes;
}

ClipContent randomContent()
{
    const int pick = uniform(0, 99);
    if (pick < 15)
        return ClipContent::text(QStringLiteral("repeated text %1").arg(uniform(0, 7)));
    if (pick < 55)
        return ClipContent::text(randomText());
    if (pick < 65) {
        const int which = uniform(0, 3);
        return ClipContent::image(bytesFor(1000 + which, 3000 + which * 40000));
    }
    return ClipContent::image(bytesFor(g_random(), uniform(2 * 1024, 200 * 1024)));
}

ClipItemPtr randomItem(ClipStore &store, int among)
{
    const std::vector<ClipItemPtr> items = store.recentItems(among);
    return items.empty() ? nullptr : items[std::size_t(uniform(0, int(items.size()) - 1))];
}

void step(ClipStore &store)
{
    const int pick = uniform(0, 199);
    if (pick < 150) {
        store.recordContent(randomContent(), QStringLiteral("org.example.Writer"));
    } else if (pick < 170) {
        // Pinned entries come first, so a long pinned list is often unpinned.
        store.togglePin(randomItem(store, 30));
    } else if (pick < 190) {
        store.deleteItem(randomItem(store, 200));
    } else if (pick < 198) {
        store.maxItems = uniform(2, 30);
        store.enforceLimits();
        store.maxItems = kDefaultLimit;
    } else if (uniform(0, 9) == 0) {
        store.clearAll();
    }
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s FOLDER KEY_HEX SEED\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    Crypto::setShared(Crypto(SecretBytes::fromByteArray(QByteArray::fromHex(argv[2]))));
    auto container = ModelContainer::open(folder);
    if (!container) {
        std::fprintf(stderr, "crash_writer: %s\n", qPrintable(container.error()));
        return 1;
    }
    ClipStore store(container.value()->mainContext(),
        ImageStore(folder + QStringLiteral("/images"), Crypto::shared()));
    store.maxItems = kDefaultLimit;

    g_random.seed(std::strtoull(argv[3], nullptr, 10));
    std::fputs("ready\n", stdout);
    std::fflush(stdout);
    for (;;)
        step(store);
}
