// velkarin apply's jobs: the queued rows configured on worker threads, several
// devices at once, then verified together.
#pragma once
#include <optional>
#include <vector>

#include "cli/commands/apply_table.h"
#include "cli/commands/commands.h"

namespace velkarin::cli {

// Configures the table's queue on up to --jobs workers; a command without a
// reply goes out again, a few times, unless a look at the device shows that
// only its reply was lost. Ends the run at once after a second interrupt:
// the rows in flight are unknown then, and the workers are not waited for.
std::optional<RunEnd> ConfigureQueue(const ApplyTable& table, const ApplyOptions& options);

// Every accepted device, verified together; how the run ended.
RunEnd Verify(const std::vector<RowRun*>& queue, const std::vector<ScanTarget>& targets,
              const ApplyOptions& options);

}  // namespace velkarin::cli
