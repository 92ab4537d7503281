#pragma once

#include "driver/dev_opt.h"

#include <string>

// Records as the window binds them: one key for reading and writing.
inline void MakeRead(dev_opt& record, const std::string& key)
{
    record.ReadKey = key;
    record.WriteKey = key;
    record.Operation = OpRead;
}

// A record as the write pass leaves it: the value to write and both flags raised.
inline void MakeWrite(dev_opt& record, const std::string& key, const std::string& value)
{
    MakeRead(record, key);
    record.ValueToWrite = value;
    record.Operation = OpWrite;
    dev_opt::Raise(record.WriteNeeded);
    dev_opt::Raise(record.ReadBackNeeded);
}

// Back to the state of a record at program start: free, no texts, no flags.
inline void ClearRecord(dev_opt& record)
{
    record.Magic = 0;
    record.ReadKey.clear();
    record.WriteKey.clear();
    record.ValueRead.clear();
    record.ValueToWrite.clear();
    record.GridId = 0;
    record.Col = 0;
    record.Row = 0;
    dev_opt::Lower(record.ResultReady);
    dev_opt::Lower(record.WriteNeeded);
    dev_opt::Lower(record.ReadBackNeeded);
    record.Operation = 0;
}
