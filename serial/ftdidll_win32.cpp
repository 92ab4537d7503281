#include "serial/ftdidll_win32.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

namespace {

// The DLL's own node layout; its handle is pointer-sized, so on 64-bit Windows it differs
// from the 100-byte node the lookup keeps.
struct TNativeNode
{
    ULONG Flags;
    ULONG Type;
    ULONG ID;
    DWORD LocId;
    char SerialNumber[16];
    char Description[64];
    void* ftHandle;
};
static_assert(offsetof(TNativeNode, Description) == 32);
static_assert(offsetof(TNativeNode, ftHandle) == 96 && sizeof(TNativeNode) == 96 + sizeof(void*),
              "the vendor's node: 96 bytes, then a pointer-sized handle");

using CreateListFn = ULONG(WINAPI*)(DWORD*);
using GetListFn = ULONG(WINAPI*)(TNativeNode*, DWORD*);
using OpenFn = ULONG(WINAPI*)(int, void**);
using ComPortFn = ULONG(WINAPI*)(void*, LONG*);
using CloseFn = ULONG(WINAPI*)(void*);

constexpr WORD CreateListOrdinal = 70;
constexpr WORD GetListOrdinal = 71;
constexpr WORD OpenOrdinal = 1;
constexpr WORD ComPortOrdinal = 80;
constexpr WORD CloseOrdinal = 2;

// Through the generic function type, which the compiler accepts as a cast between signatures.
template <typename Function> Function EntryAs(FARPROC entry)
{
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(entry));
}

std::string ModulePath(HMODULE module)
{
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::string(path, length) : "FTD2XX.DLL";
}

void* NativeHandle(FtHandle handle)
{
    return reinterpret_cast<void*>(handle);
}

void CopyNode(const TNativeNode& from, TFtDeviceListInfoNode* to)
{
    to->Flags = from.Flags;
    to->Type = from.Type;
    to->ID = from.ID;
    to->LocId = from.LocId;
    std::memcpy(to->SerialNumber, from.SerialNumber, sizeof to->SerialNumber);
    std::memcpy(to->Description, from.Description, sizeof to->Description);
    // Informative only; nothing opens a device through it.
    to->ftHandle = static_cast<uint32_t>(reinterpret_cast<std::uintptr_t>(from.ftHandle));
}

} // namespace

TFtdiDll::~TFtdiDll()
{
    if (Module) {
        FreeLibrary(Module);
    }
}

bool TFtdiDll::Load()
{
    if (Module) {
        return true;
    }
    if (Refused) {
        return false;
    }
    Module = LoadLibraryExA(Path.c_str(), nullptr,
                            LOAD_LIBRARY_SEARCH_APPLICATION_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!Module) {
        const DWORD error = GetLastError();
        LoadProblem = error == ERROR_MOD_NOT_FOUND
                          ? "FTD2XX.DLL was not found: install the FTDI driver package for the "
                            "adapter (it brings FTD2XX.DLL) and try again."
                          : "FTD2XX.DLL could not be loaded (Windows error " +
                                std::to_string(error) +
                                ", for example a 32-bit library): reinstall the FTDI driver "
                                "package and try again.";
        return false;
    }
    LoadProblem.clear();
    if (!BindEntries()) {
        FreeLibrary(Module);
        Module = nullptr;
        Refused = true;
    }
    return Module != nullptr;
}

// An entry is used only when the ordinal and the documented name give the same address: a
// library with other functions at these ordinals would be called with the wrong arguments.
bool TFtdiDll::BindEntries()
{
    const struct
    {
        WORD Ordinal;
        const char* Name;
        FARPROC* Entry;
    } entries[] = {
        {CreateListOrdinal, "FT_CreateDeviceInfoList", &CreateListEntry},
        {GetListOrdinal, "FT_GetDeviceInfoList", &GetListEntry},
        {OpenOrdinal, "FT_Open", &OpenEntry},
        {ComPortOrdinal, "FT_GetComPortNumber", &ComPortEntry},
        {CloseOrdinal, "FT_Close", &CloseEntry},
    };
    for (const auto& entry : entries) {
        const FARPROC byOrdinal = GetProcAddress(Module, MAKEINTRESOURCEA(entry.Ordinal));
        if (!byOrdinal || byOrdinal != GetProcAddress(Module, entry.Name)) {
            LoadProblem = ModulePath(Module) + " was not used: it does not export " + entry.Name +
                          " at ordinal " + std::to_string(entry.Ordinal) +
                          ", so it is not the FTDI library. Reinstall the FTDI driver package "
                          "and start the program again.";
            return false;
        }
        *entry.Entry = byOrdinal;
    }
    return true;
}

FtStatus TFtdiDll::CreateDeviceInfoList(uint32_t* count)
{
    if (!count) {
        return FtInvalidParameter;
    }
    *count = 0;
    ListedCount = 0;
    if (!Load()) {
        return FtOtherError;
    }
    DWORD listed = 0;
    const FtStatus status = EntryAs<CreateListFn>(CreateListEntry)(&listed);
    if (status == FtOk) {
        ListedCount = listed;
        *count = listed;
    }
    return status;
}

FtStatus TFtdiDll::GetDeviceInfoList(TFtDeviceListInfoNode* nodes, uint32_t* count)
{
    if (!count || (!nodes && *count > 0)) {
        return FtInvalidParameter;
    }
    if (!Load()) {
        *count = 0;
        return FtOtherError;
    }
    // The DLL writes every device of its list whatever the caller's table holds, so it gets
    // a table of its own that is large enough, and only what fits is copied out.
    std::vector<TNativeNode> table(std::max<DWORD>({ListedCount, *count, 1}));
    DWORD written = static_cast<DWORD>(table.size());
    const FtStatus status = EntryAs<GetListFn>(GetListEntry)(table.data(), &written);
    if (status != FtOk) {
        *count = 0;
        return status;
    }
    const std::size_t copied = std::min<std::size_t>({written, *count, table.size()});
    for (std::size_t i = 0; i < copied; ++i) {
        CopyNode(table[i], &nodes[i]);
    }
    *count = static_cast<uint32_t>(copied);
    return FtOk;
}

FtStatus TFtdiDll::Open(int32_t index, FtHandle* handle)
{
    if (!handle) {
        return FtInvalidParameter;
    }
    if (!Load()) {
        return FtDeviceNotFound;
    }
    void* opened = nullptr;
    const FtStatus status = EntryAs<OpenFn>(OpenEntry)(index, &opened);
    if (status == FtOk) {
        *handle = reinterpret_cast<FtHandle>(opened);
    }
    return status;
}

FtStatus TFtdiDll::GetComPortNumber(FtHandle handle, int32_t* port)
{
    if (!port) {
        return FtInvalidParameter;
    }
    if (!Load()) {
        return FtInvalidHandle;
    }
    LONG number = -1;
    const FtStatus status = EntryAs<ComPortFn>(ComPortEntry)(NativeHandle(handle), &number);
    if (status == FtOk) {
        *port = static_cast<int32_t>(number);
    }
    return status;
}

FtStatus TFtdiDll::Close(FtHandle handle)
{
    if (!Load()) {
        return FtInvalidHandle;
    }
    return EntryAs<CloseFn>(CloseEntry)(NativeHandle(handle));
}
