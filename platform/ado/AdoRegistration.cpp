// The classes in the COM class table, and the command trace.
#include <mutex>

#include "platform/ado/AdoObjects.h"

const CLSID CLSID_Connection = {
    0x00000514, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const CLSID CLSID_Command = {
    0x00000507, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const CLSID CLSID_Recordset = {
    0x00000535, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

namespace {

IUnknown* NewConnection() {
    return static_cast<_Connection*>(new CAdoConnection);
}
IUnknown* NewCommand() {
    return static_cast<_Command*>(new CAdoCommand);
}
IUnknown* NewRecordset() {
    return static_cast<_Recordset*>(new CAdoRecordset);
}

std::mutex g_traceLock;
std::function<void(LPCWSTR)>* g_pTrace = nullptr;

// Registered when the platform is loaded, as an installed component would be.
struct CAdoAutoRegistration {
    CAdoAutoRegistration() { AdoRegisterClasses(); }
} g_autoRegistration;

} // namespace

void AdoRegisterClasses() {
    ZqkRegisterClass(CLSID_Connection, L"ADODB.Connection", &NewConnection);
    ZqkRegisterClass(CLSID_Command, L"ADODB.Command", &NewCommand);
    ZqkRegisterClass(CLSID_Recordset, L"ADODB.Recordset", &NewRecordset);
}

std::function<void(LPCWSTR)> AdoSetCommandTrace(std::function<void(LPCWSTR)> fnTrace) {
    std::lock_guard<std::mutex> lock(g_traceLock);
    std::function<void(LPCWSTR)> previous = g_pTrace ? *g_pTrace : std::function<void(LPCWSTR)>();
    delete g_pTrace;
    g_pTrace = fnTrace ? new std::function<void(LPCWSTR)>(std::move(fnTrace)) : nullptr;
    return previous;
}

void AdoTraceCommand(const wchar_t* pszText) {
    std::function<void(LPCWSTR)> fn;
    {
        std::lock_guard<std::mutex> lock(g_traceLock);
        if (g_pTrace == nullptr)
            return;
        fn = *g_pTrace;
    }
    fn(pszText ? pszText : L"");
}
