// SPDX-License-Identifier: GPL-3.0-or-later
// A line on Scrivlet's socket comes from any program of the user's: reading
// it must give a request that holds together, or a refusal, never a crash.
#include "app/cli/CommandRequest.h"

#include <cstdint>
#include <cstdlib>

using namespace scrivlet;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray line(reinterpret_cast<const char *>(data), qsizetype(size));
    const Result<CommandRequest> request = CommandRequest::fromJson(line);
    if (!request) {
        if (request.error().isEmpty())
            std::abort();
        return 0;
    }
    const CommandRequest &value = request.value();
    if (value.limit && (*value.limit < 0 || *value.limit > CommandRequest::kMaxLimit))
        std::abort();
    // What is accepted is sent again unchanged.
    const Result<CommandRequest> again = CommandRequest::fromJson(value.toJson());
    if (!again || again.value().toJson() != value.toJson())
        std::abort();
    // Answers are read by the command line: they must not crash it either.
    (void)CommandResponse::fromJson(line);
    return 0;
}
