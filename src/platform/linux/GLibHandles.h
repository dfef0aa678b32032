// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/UniqueHandle.h"

#include <gio/gio.h>

namespace scrivlet {

template<typename T>
using ObjectPtr = UniqueHandle<T, g_object_unref>;
using ErrorPtr = UniqueHandle<GError, g_error_free>;
using VariantPtr = UniqueHandle<GVariant, g_variant_unref>;
using HashTablePtr = UniqueHandle<GHashTable, g_hash_table_unref>;
using ContextPtr = UniqueHandle<GMainContext, g_main_context_unref>;
// A list of pointers it does not own.
using BorrowedList = UniqueHandle<GList, g_list_free>;

inline void freeObjectList(GList *list)
{
    g_list_free_full(list, g_object_unref);
}
// A list that holds a reference to each of its objects.
using ObjectList = UniqueHandle<GList, freeObjectList>;

} // namespace scrivlet
