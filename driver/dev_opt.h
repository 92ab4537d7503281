#pragma once

// The record flags' contract. Two threads share a record: the GUI thread (the window's timer,
// or a command-line run's waiting loop) and the comms thread (the driver). No lock is taken;
// each flag has one raiser and one lowerer per direction, and a value is stored before the
// flag that hands it over is raised (release), and read after the flag is seen (acquire).
//
// - ResultReady: raised by the comms thread after it stored ValueRead of an answered read;
//   lowered by the GUI thread once it has taken the value (the copy to a cell; MarkRead).
// - WriteNeeded: raised by the GUI thread after it stored ValueToWrite, before the record is
//   submitted (MarkWrite); lowered by the comms thread when the write is answered, and by the
//   GUI thread when the edit is withdrawn or confirmed (the driver then skips the write).
// - ReadBackNeeded: raised by the GUI thread with WriteNeeded; lowered by the GUI thread only:
//   a command-line run after its read-back, the window never (it reads back all it wrote).
//
// The driver reads WriteNeeded just before a write goes out, and touches nothing else of a
// record outside the exchange it was submitted in. ValueRead, ValueToWrite and Operation
// change only while the driver is idle, or (ValueRead) by the driver before ResultReady.

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
