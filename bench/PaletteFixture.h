// SPDX-License-Identifier: GPL-3.0-or-later
// The palette over a history of 200 entries, without a desktop to paste
// into: shared by the benchmarks that open it.
#pragma once

#include "core/desktop/DesktopEntries.h"
#include "core/services/KeySender.h"
#include "core/services/Pasteboard.h"
#include "core/services/Workspace.h"
#include "core/settings/AppSettings.h"
#include "core/settings/DefaultsStore.h"
#include "support/ResidentMemory.h"
#include "support/TestHistory.h"
#include "ui/AppIconCache.h"
#include "ui/palette/PaletteController.h"

#include <QBuffer>
#include <QImage>
#include <memory>

namespace scrivlet::bench {

class NoPasteboard : public Pasteboard
{
public:
    qint64 changeCount() const override { return 0; }
    void read(ReadScope, ReadHandler) override { }
    void write(const Representations &) override { }
};
class NoWorkspace : public Workspace
{
public:
    std::optional<QString> frontmostApplicationId() override { return std::nullopt; }
    std::optional<WindowRef> activeWindow() override { return std::nullopt; }
    void activate(quint64) override { }
};
class NoKeys : public KeySender
{
public:
    bool isTrusted() override { return false; }
    bool sendPaste(PasteKey) override { return false; }
};

using testing::residentKilobytes;

// A history of 200 entries: texts of a few lines, and one image in ten.
struct Fixture
{
    testing::TestHistory history;
    ImageStore images = history.images();
    std::unique_ptr<DefaultsStore> defaults;
    std::unique_ptr<AppSettings> settings;
    DesktopEntries entries {QStringList {}};
    std::unique_ptr<AppIconCache> icons;
    NoPasteboard pasteboard;
    NoWorkspace workspace;
    NoKeys keys;
    std::unique_ptr<PaletteController> palette;

    Fixture()
    {
        for (int i = 0; i < 200; ++i) {
            if (i % 10 == 0) {
                QImage image(800, 600, QImage::Format_RGB32);
                image.fill(QColor::fromHsv(i, 200, 200));
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                image.save(&buffer, "PNG");
                history.record(ClipContent::image(png));
            } else {
                history.record(
                    ClipContent::text(QStringLiteral("Entrée %1 : le café de la gare ouvre à "
                                                     "sept heures\net ferme à vingt heures")
                                          .arg(i)));
            }
        }
        defaults = std::make_unique<DefaultsStore>(history.folder() + QStringLiteral("/config"));
        settings = std::make_unique<AppSettings>(*defaults);
        icons = std::make_unique<AppIconCache>(entries);
        palette = std::make_unique<PaletteController>(PaletteController::Services {history.store(),
            images, *settings, *defaults, pasteboard, workspace, keys, entries, *icons});
    }
};

inline Fixture &fixture()
{
    static Fixture instance;
    return instance;
}

} // namespace scrivlet::bench
