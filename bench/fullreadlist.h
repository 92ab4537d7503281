#pragma once
// One read of every setting, in the order Connect reads them.
#include "driver/requestlist.h"
#include "driver/settingkeys.h"

#include <deque>

inline RequestList FullReadList(std::deque<dev_opt>& records)
{
    const auto& keys = TSettingKeys::All();
    records.resize(keys.size());
    RequestList list;
    for (size_t i = 0; i < keys.size(); ++i) {
        records[i].ReadKey = keys[i].Key;
        records[i].WriteKey = keys[i].Key;
        records[i].Operation = OpRead;
        list.push_back(&records[i]);
    }
    return list;
}
