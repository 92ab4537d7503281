#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// Grids a record can belong to.
constexpr int32_t GridSensor = 101;
constexpr int32_t GridThermistor = 102;

// What the driver does with a record.
constexpr int32_t OpRead = 1;
constexpr int32_t OpWrite = 2;

// A record carrying this value is bound to a grid cell.
constexpr int32_t BoundMagic = 1234;

// One instrument setting bound to one table cell, shared by the window (GUI thread) and the
// driver (comms thread) without locks. Flags are stored with release and loaded with acquire
// ordering, so a value stored before a flag is raised is seen by whoever sees the flag.
struct dev_opt
{
    int32_t Magic = 0;
    std::string ReadKey;
    std::string WriteKey;
    std::string ValueRead;
    std::string ValueToWrite;
    int32_t GridId = 0;
    int32_t Col = 0;
    int32_t Row = 0;
    std::atomic<int32_t> ResultReady{0};
    std::atomic<int32_t> WriteNeeded{0};
    std::atomic<int32_t> ReadBackNeeded{0};
    int32_t Operation = 0;

    // Binds the record to the setting `key` shown in cell (col, row) of the grid; values and
    // flags stay as they are.
    void Bind(int32_t gridId, const std::string& key, int32_t col, int32_t row)
    {
        ReadKey = key;
        WriteKey = key;
        Operation = OpRead;
        GridId = gridId;
        Col = col;
        Row = row;
        Magic = BoundMagic;
    }

    static void Raise(std::atomic<int32_t>& flag) { flag.store(1, std::memory_order_release); }
    static void Lower(std::atomic<int32_t>& flag) { flag.store(0, std::memory_order_release); }
    static bool IsRaised(const std::atomic<int32_t>& flag)
    {
        return flag.load(std::memory_order_acquire) != 0;
    }
};
