// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/crypto/Crypto.h"
#include "core/history/ClipStore.h"
#include "core/history/ImageStore.h"
#include "core/history/ModelContainer.h"
#include "fakes/FakeClock.h"
#include "support/TestKeys.h"

#include <QTemporaryDir>
#include <memory>
#include <stdexcept>

namespace scrivlet::testing {

// A history as the program keeps one: the shared cipher set with a test key,
// the SQLite file and the image folder in a throwaway folder, and a store over
// them on a clock the test moves. Tests, benches and probes share it.
class TestHistory
{
public:
    explicit TestHistory(unsigned char keyFill = 0x11)
    {
        Crypto::setShared(Crypto(testKey(keyFill)));
        reopen();
    }
    ~TestHistory()
    {
        close();
        Crypto::setShared(std::nullopt);
    }
    TestHistory(const TestHistory &) = delete;
    TestHistory &operator=(const TestHistory &) = delete;

    // As after a restart: the same files, opened anew.
    void reopen()
    {
        close();
        auto opened = ModelContainer::open(folder());
        if (!opened.ok())
            throw std::runtime_error("history: " + opened.error().toStdString());
        m_container = std::move(opened).value();
        m_store = std::make_unique<ClipStore>(m_container->mainContext(), images(), clock);
    }
    // Lets another program (or a test's SQL) have the file to itself.
    void close()
    {
        m_store.reset();
        m_container.reset();
    }

    [[nodiscard]] QString folder() const { return m_dir.path(); }
    [[nodiscard]] QString databaseFile() const
    {
        return folder() + QStringLiteral("/history.sqlite");
    }
    [[nodiscard]] QString imagesFolder() const { return folder() + QStringLiteral("/images"); }
    [[nodiscard]] ImageStore images() const { return ImageStore(imagesFolder(), Crypto::shared()); }

    [[nodiscard]] ModelContainer &container() { return *m_container; }
    [[nodiscard]] ClipStore &store() { return *m_store; }

    // Records one copy a second after the last, as from an editor.
    void record(
        const ClipContent &content, const QString &app = QStringLiteral("org.example.Editor"))
    {
        clock.time += 1;
        m_store->recordContent(content, app);
    }

    FakeClock clock;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<ModelContainer> m_container;
    std::unique_ptr<ClipStore> m_store;
};

} // namespace scrivlet::testing
