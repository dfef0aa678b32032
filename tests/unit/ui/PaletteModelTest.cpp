// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/palette/PaletteModel.h"

#include "support/TestHistory.h"

#include <QSignalSpy>
#include <gtest/gtest.h>

namespace scrivlet {
namespace {

class PaletteModelTest : public ::testing::Test
{
protected:
    void record(std::initializer_list<const char *> texts)
    {
        for (const char *text : texts)
            history.record(ClipContent::text(QString::fromUtf8(text)));
    }
    QStringList rows(const PaletteModel &model) const
    {
        QStringList out;
        for (int row = 0; row < model.rowCount(); ++row)
            out.append(model.entryAt(row)->text());
        return out;
    }

    testing::TestHistory history;
    ClipStore &store = history.store();
};

TEST_F(PaletteModelTest, FiltersAndKeepsTheSelectionInsideTheList)
{
    PaletteModel model(store);
    model.reload();
    EXPECT_EQ(model.emptyText(), QStringLiteral("Aucun élément"));
    record({"Café noir", "thé", "cafe au lait", "eau", "CAFÉ crème"});
    model.reload();
    EXPECT_EQ(rows(model).size(), 5);

    model.move(+3);
    EXPECT_EQ(model.selection(), 3);
    model.setQuery(QStringLiteral("cafe"));
    EXPECT_EQ(rows(model), (QStringList {"CAFÉ crème", "cafe au lait", "Café noir"}));
    EXPECT_EQ(model.selection(), 0) << "a new query selects the best match";
    model.move(+1);
    model.move(+5);
    EXPECT_EQ(model.selection(), 2) << "stops at the last row";
    model.move(-10);
    EXPECT_EQ(model.selection(), 0) << "stops at the first row";

    model.setQuery(QStringLiteral("zzz"));
    EXPECT_EQ(model.emptyText(), QStringLiteral("Aucun résultat"));
    model.move(+1); // nothing to move through
    EXPECT_EQ(model.selection(), 0);
}

TEST_F(PaletteModelTest, QuickKeysAndPastingNameRowsOfTheFilteredList)
{
    for (int i = 0; i < 12; ++i)
        history.record(ClipContent::text(QStringLiteral("entry %1").arg(i)));
    PaletteModel model(store);
    model.reload();
    EXPECT_EQ(model.data(model.index(0), PaletteModel::QuickKeyRole).toInt(), 1);
    EXPECT_EQ(model.data(model.index(8), PaletteModel::QuickKeyRole).toInt(), 9);
    EXPECT_FALSE(model.data(model.index(9), PaletteModel::QuickKeyRole).isValid());

    QSignalSpy pasted(&model, &PaletteModel::pasteRequested);
    model.setQuery(QStringLiteral("entry 1"));
    model.pasteAt(2, true); // entry 1, 10, 11 -> newest first: 11, 10, 1
    ASSERT_EQ(pasted.size(), 1);
    EXPECT_EQ(pasted.at(0).at(0).value<ClipItemPtr>()->text(), QStringLiteral("entry 1"));
    EXPECT_TRUE(pasted.at(0).at(1).toBool());
    model.pasteAt(3, false);
    model.pasteAt(-1, false);
    EXPECT_EQ(pasted.size(), 1) << "a row beyond the list pastes nothing";
}

TEST_F(PaletteModelTest, PinningAndDeletingReloadAndSelectTheFirstRow)
{
    record({"a", "b", "c"});
    PaletteModel model(store);
    model.reload();
    model.setSelection(2);
    model.togglePinAt(model.selection()); // "a"
    EXPECT_EQ(rows(model), (QStringList {"a", "c", "b"}));
    EXPECT_EQ(model.selection(), 0);
    model.deleteAt(2);
    EXPECT_EQ(rows(model), (QStringList {"a", "c"}));
}

TEST_F(PaletteModelTest, RowsWhoseEntryVanishedAreNeverActedOn)
{
    record({"kept", "pruned away"});
    PaletteModel model(store);
    model.reload();
    const ClipItemPtr gone = model.entryAt(0);
    store.deleteItem(gone); // as pruning or clearing would, while the palette is open
    QSignalSpy pasted(&model, &PaletteModel::pasteRequested);

    model.pasteAt(0, false);
    EXPECT_TRUE(pasted.isEmpty());
    EXPECT_EQ(rows(model), QStringList {"kept"}) << "reloaded instead";

    record({"another"});
    model.reload();
    store.clearAll();
    model.togglePinAt(0);
    model.deleteAt(0);
    EXPECT_TRUE(store.recentItems(10).empty()) << "no pin or delete reached a vanished entry";
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(PaletteModelTest, AQuerySearchesTheWholeHistoryAndShowsAtMostTheWindow)
{
    record({"ancienne adresse"});
    for (int i = 0; i < PaletteModel::kHistoryWindow + 50; ++i)
        history.record(ClipContent::text(QStringLiteral("ligne %1").arg(i)));
    PaletteModel model(store);
    model.reload();
    EXPECT_EQ(model.rowCount(), PaletteModel::kHistoryWindow);
    EXPECT_FALSE(rows(model).contains(QStringLiteral("ancienne adresse")));

    model.setQuery(QStringLiteral("ADRESSE"));
    EXPECT_EQ(rows(model), QStringList {"ancienne adresse"});
    model.pasteAt(0, false); // still in the history: acted on
    model.togglePinAt(0);
    EXPECT_EQ(rows(model), QStringList {"ancienne adresse"}) << "the query survives the reload";
    EXPECT_TRUE(model.entryAt(0)->isPinned());

    model.setQuery(QStringLiteral("ligne"));
    EXPECT_EQ(model.rowCount(), PaletteModel::kHistoryWindow);
    EXPECT_EQ(rows(model).front(), QStringLiteral("ligne 249"));
    model.setQuery(QString());
    EXPECT_EQ(model.rowCount(), PaletteModel::kHistoryWindow);
    EXPECT_EQ(rows(model).front(), QStringLiteral("ligne 249"))
        << "without a query, only the newest are listed";
}

} // namespace
} // namespace scrivlet
