// The effective settings record as one JSON object, as kmr-replay --show-settings prints it and
// the run report keeps it.
#pragma once

#include "tester/report/json_writer.h"
#include "tester/settings/settings_store.h"

namespace kmr {

JsonObject SettingsRecordJson(const SettingsRecord& record);

}  // namespace kmr
