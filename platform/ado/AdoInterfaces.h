// The data-access object model: Connection, Command, Recordset, Fields and Field. Each
// interface has raw methods, which return an HRESULT and set error information, and raising
// wrappers of the same names without the raw_ prefix (Get/Put for properties), which throw
// _com_error carrying that information.
#pragma once

#include <functional>

#include "platform/ado/AdoEnums.h"
#include "platform/com/comdef.h"

struct _Connection;
struct _Command;
struct _Recordset;
struct Fields;
struct Field;

ZQK_COM_INTERFACE(_Connection, IDispatch, 0x00001550, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00,
                  0x6D, 0x2E, 0xA4)
ZQK_COM_INTERFACE(_Command, IDispatch, 0x0000154E, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00,
                  0x6D, 0x2E, 0xA4)
ZQK_COM_INTERFACE(_Recordset, IDispatch, 0x00001556, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00,
                  0x6D, 0x2E, 0xA4)
ZQK_COM_INTERFACE(Fields, IDispatch, 0x0000154D, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D,
                  0x2E, 0xA4)
ZQK_COM_INTERFACE(Field, IDispatch, 0x0000154C, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D,
                  0x2E, 0xA4)

_COM_SMARTPTR_TYPEDEF(_Connection, __uuidof(_Connection));
_COM_SMARTPTR_TYPEDEF(_Command, __uuidof(_Command));
_COM_SMARTPTR_TYPEDEF(_Recordset, __uuidof(_Recordset));
_COM_SMARTPTR_TYPEDEF(Fields, __uuidof(Fields));
_COM_SMARTPTR_TYPEDEF(Field, __uuidof(Field));

// The classes, registered in the COM class table as ADODB.Connection, ADODB.Command and
// ADODB.Recordset.
extern const CLSID CLSID_Connection; // {00000514-0000-0010-8000-00AA006D2EA4}
extern const CLSID CLSID_Command;    // {00000507-0000-0010-8000-00AA006D2EA4}
extern const CLSID CLSID_Recordset;  // {00000535-0000-0010-8000-00AA006D2EA4}

// Registers the three classes (done once, when the platform is loaded; calling it again is
// harmless).
void AdoRegisterClasses();

// The process-wide command trace: sees every command text as it is handed to the data-access
// objects, before any provider rewriting. Returns the previous trace; an empty one removes it.
std::function<void(LPCWSTR)> AdoSetCommandTrace(std::function<void(LPCWSTR)> fnTrace);

#define ZQK_ADO_RAISE(hr, Interface)                                                               \
    do {                                                                                           \
        HRESULT _hr = (hr);                                                                        \
        if (FAILED(_hr))                                                                           \
            _com_issue_errorex(_hr, this, __uuidof(Interface));                                    \
    } while (0)

struct _Connection : IDispatch {
    virtual HRESULT get_ConnectionString(BSTR* pbstr) = 0;
    virtual HRESULT put_ConnectionString(BSTR bstr) = 0;
    virtual HRESULT get_Mode(ConnectModeEnum* plMode) = 0;
    virtual HRESULT put_Mode(ConnectModeEnum lMode) = 0;
    virtual HRESULT get_State(LONG* plObjState) = 0;
    virtual HRESULT raw_Open(BSTR ConnectionString, BSTR UserID, BSTR Password, LONG Options) = 0;
    virtual HRESULT raw_Close() = 0;
    // ppiRset receives null for a statement that produces no result columns.
    virtual HRESULT raw_Execute(BSTR CommandText, VARIANT* RecordsAffected, LONG Options,
                                _Recordset** ppiRset) = 0;
    virtual HRESULT raw_OpenSchema(SchemaEnum Schema, VARIANT Restrictions, VARIANT SchemaID,
                                   _Recordset** pprset) = 0;
    virtual HRESULT raw_BeginTrans(LONG* TransactionLevel) = 0;
    virtual HRESULT raw_CommitTrans() = 0;
    virtual HRESULT raw_RollbackTrans() = 0;

    _bstr_t GetConnectionString() {
        BSTR b = nullptr;
        ZQK_ADO_RAISE(get_ConnectionString(&b), _Connection);
        return _bstr_t(b, false);
    }
    void PutConnectionString(_bstr_t bstr) {
        ZQK_ADO_RAISE(put_ConnectionString(bstr), _Connection);
    }
    ConnectModeEnum GetMode() {
        ConnectModeEnum n = adModeUnknown;
        ZQK_ADO_RAISE(get_Mode(&n), _Connection);
        return n;
    }
    void PutMode(ConnectModeEnum lMode) { ZQK_ADO_RAISE(put_Mode(lMode), _Connection); }
    LONG GetState() {
        LONG n = 0;
        ZQK_ADO_RAISE(get_State(&n), _Connection);
        return n;
    }
    HRESULT Open(_bstr_t ConnectionString, _bstr_t UserID, _bstr_t Password, LONG Options) {
        HRESULT hr = raw_Open(ConnectionString, UserID, Password, Options);
        ZQK_ADO_RAISE(hr, _Connection);
        return hr;
    }
    HRESULT Close() {
        HRESULT hr = raw_Close();
        ZQK_ADO_RAISE(hr, _Connection);
        return hr;
    }
    _com_ptr_t<_Recordset> Execute(_bstr_t CommandText, VARIANT* RecordsAffected, LONG Options);
    _com_ptr_t<_Recordset> OpenSchema(SchemaEnum Schema, const _variant_t& Restrictions = vtMissing,
                                      const _variant_t& SchemaID = vtMissing);
    LONG BeginTrans() {
        LONG n = 0;
        ZQK_ADO_RAISE(raw_BeginTrans(&n), _Connection);
        return n;
    }
    HRESULT CommitTrans() {
        HRESULT hr = raw_CommitTrans();
        ZQK_ADO_RAISE(hr, _Connection);
        return hr;
    }
    HRESULT RollbackTrans() {
        HRESULT hr = raw_RollbackTrans();
        ZQK_ADO_RAISE(hr, _Connection);
        return hr;
    }

protected:
    ~_Connection() = default;
};

struct _Command : IDispatch {
    virtual HRESULT get_ActiveConnection(_Connection** ppvObject) = 0;
    virtual HRESULT putref_ActiveConnection(_Connection* pCon) = 0;
    virtual HRESULT get_CommandText(BSTR* pbstr) = 0;
    virtual HRESULT put_CommandText(BSTR bstr) = 0;
    virtual HRESULT get_CommandType(CommandTypeEnum* plCmdType) = 0;
    virtual HRESULT put_CommandType(CommandTypeEnum lCmdType) = 0;
    virtual HRESULT raw_Execute(VARIANT* RecordsAffected, VARIANT* Parameters, LONG Options,
                                _Recordset** ppiRs) = 0;

    _com_ptr_t<_Connection> GetActiveConnection();
    void PutRefActiveConnection(_Connection* pCon) {
        ZQK_ADO_RAISE(putref_ActiveConnection(pCon), _Command);
    }
    _bstr_t GetCommandText() {
        BSTR b = nullptr;
        ZQK_ADO_RAISE(get_CommandText(&b), _Command);
        return _bstr_t(b, false);
    }
    void PutCommandText(_bstr_t bstr) { ZQK_ADO_RAISE(put_CommandText(bstr), _Command); }
    CommandTypeEnum GetCommandType() {
        CommandTypeEnum n = adCmdUnspecified;
        ZQK_ADO_RAISE(get_CommandType(&n), _Command);
        return n;
    }
    void PutCommandType(CommandTypeEnum lCmdType) {
        ZQK_ADO_RAISE(put_CommandType(lCmdType), _Command);
    }
    _com_ptr_t<_Recordset> Execute(VARIANT* RecordsAffected, VARIANT* Parameters, LONG Options);

protected:
    ~_Command() = default;
};

struct _Recordset : IDispatch {
    virtual HRESULT get_CursorType(CursorTypeEnum* plCursorType) = 0;
    virtual HRESULT put_CursorType(CursorTypeEnum lCursorType) = 0;
    virtual HRESULT get_LockType(LockTypeEnum* plLockType) = 0;
    virtual HRESULT put_LockType(LockTypeEnum lLockType) = 0;
    virtual HRESULT get_State(LONG* plObjState) = 0;
    virtual HRESULT get_EOF(VARIANT_BOOL* pb) = 0;
    virtual HRESULT get_BOF(VARIANT_BOOL* pb) = 0;
    virtual HRESULT get_Fields(Fields** ppvObject) = 0;
    // Source: the text or table name; ActiveConnection: the connection as a dispatch variant.
    virtual HRESULT raw_Open(VARIANT Source, VARIANT ActiveConnection, CursorTypeEnum CursorType,
                             LockTypeEnum LockType, LONG Options) = 0;
    virtual HRESULT raw_Close() = 0;
    virtual HRESULT raw_MoveNext() = 0;
    // Forward only: NumRecords from the current record (Start must be missing).
    virtual HRESULT raw_Move(LONG NumRecords, VARIANT Start) = 0;
    // A two-dimensional array of variants, field index first, of the rows from the current one.
    virtual HRESULT raw_GetRows(LONG Rows, VARIANT Start, VARIANT Fields, VARIANT* pvar) = 0;
    virtual HRESULT raw_AddNew(VARIANT FieldList, VARIANT Values) = 0;
    virtual HRESULT raw_Update(VARIANT Fields, VARIANT Values) = 0;

    CursorTypeEnum GetCursorType() {
        CursorTypeEnum n = adOpenUnspecified;
        ZQK_ADO_RAISE(get_CursorType(&n), _Recordset);
        return n;
    }
    void PutCursorType(CursorTypeEnum n) { ZQK_ADO_RAISE(put_CursorType(n), _Recordset); }
    LockTypeEnum GetLockType() {
        LockTypeEnum n = adLockUnspecified;
        ZQK_ADO_RAISE(get_LockType(&n), _Recordset);
        return n;
    }
    void PutLockType(LockTypeEnum n) { ZQK_ADO_RAISE(put_LockType(n), _Recordset); }
    LONG GetState() {
        LONG n = 0;
        ZQK_ADO_RAISE(get_State(&n), _Recordset);
        return n;
    }
    VARIANT_BOOL GetadoEOF() {
        VARIANT_BOOL b = VARIANT_FALSE;
        ZQK_ADO_RAISE(get_EOF(&b), _Recordset);
        return b;
    }
    VARIANT_BOOL GetBOF() {
        VARIANT_BOOL b = VARIANT_FALSE;
        ZQK_ADO_RAISE(get_BOF(&b), _Recordset);
        return b;
    }
    _com_ptr_t<Fields> GetFields();
    HRESULT Open(const _variant_t& Source, const _variant_t& ActiveConnection,
                 CursorTypeEnum CursorType, LockTypeEnum LockType, LONG Options) {
        HRESULT hr = raw_Open(Source, ActiveConnection, CursorType, LockType, Options);
        ZQK_ADO_RAISE(hr, _Recordset);
        return hr;
    }
    HRESULT Close() {
        HRESULT hr = raw_Close();
        ZQK_ADO_RAISE(hr, _Recordset);
        return hr;
    }
    HRESULT MoveNext() {
        HRESULT hr = raw_MoveNext();
        ZQK_ADO_RAISE(hr, _Recordset);
        return hr;
    }
    HRESULT Move(LONG NumRecords, const _variant_t& Start = vtMissing) {
        HRESULT hr = raw_Move(NumRecords, Start);
        ZQK_ADO_RAISE(hr, _Recordset);
        return hr;
    }
    _variant_t GetRows(LONG Rows, const _variant_t& Start = vtMissing,
                       const _variant_t& Fields = vtMissing) {
        VARIANT v;
        VariantInit(&v);
        ZQK_ADO_RAISE(raw_GetRows(Rows, Start, Fields, &v), _Recordset);
        return _variant_t(v, false); // takes v over
    }
    HRESULT AddNew(const _variant_t& FieldList = vtMissing, const _variant_t& Values = vtMissing) {
        HRESULT hr = raw_AddNew(FieldList, Values);
        ZQK_ADO_RAISE(hr, _Recordset);
        return hr;
    }
    HRESULT Update(const _variant_t& Fields = vtMissing, const _variant_t& Values = vtMissing) {
        HRESULT hr = raw_Update(Fields, Values);
        ZQK_ADO_RAISE(hr, _Recordset);
        return hr;
    }

protected:
    ~_Recordset() = default;
};

struct Fields : IDispatch {
    virtual HRESULT get_Count(LONG* c) = 0;
    // Index: a zero-based position (any integer variant type) or a name (any letter case).
    virtual HRESULT get_Item(VARIANT Index, Field** ppvObject) = 0;

    LONG GetCount() {
        LONG n = 0;
        ZQK_ADO_RAISE(get_Count(&n), Fields);
        return n;
    }
    _com_ptr_t<Field> GetItem(const _variant_t& Index);

protected:
    ~Fields() = default;
};

struct Field : IDispatch {
    virtual HRESULT get_Value(VARIANT* pvar) = 0;
    virtual HRESULT put_Value(VARIANT Val) = 0;
    virtual HRESULT get_Name(BSTR* pbstr) = 0;
    virtual HRESULT get_Type(DataTypeEnum* pDataType) = 0;
    virtual HRESULT get_DefinedSize(LONG* pl) = 0;
    virtual HRESULT get_ActualSize(LONG* pl) = 0;
    // Appends bytes (a byte array) to the value of the new row's field.
    virtual HRESULT raw_AppendChunk(VARIANT Data) = 0;
    // The next Length bytes of the current value; successive calls continue, and VT_NULL
    // follows the last byte.
    virtual HRESULT raw_GetChunk(LONG Length, VARIANT* pvar) = 0;
    // Digits in all and after the point of a decimal or currency field; 0 where unknown.
    virtual HRESULT get_Precision(BYTE* pbPrecision) = 0;
    virtual HRESULT get_NumericScale(BYTE* pbScale) = 0;

    _variant_t GetValue() {
        // Filled where it is returned: copying a variant just written a field at a time
        // would wait for those stores.
        _variant_t v;
        ZQK_ADO_RAISE(get_Value(&v), Field);
        return v;
    }
    void PutValue(const _variant_t& Val) { ZQK_ADO_RAISE(put_Value(Val), Field); }
    _bstr_t GetName() {
        BSTR b = nullptr;
        ZQK_ADO_RAISE(get_Name(&b), Field);
        return _bstr_t(b, false);
    }
    DataTypeEnum GetType() {
        DataTypeEnum n = adEmpty;
        ZQK_ADO_RAISE(get_Type(&n), Field);
        return n;
    }
    LONG GetDefinedSize() {
        LONG n = 0;
        ZQK_ADO_RAISE(get_DefinedSize(&n), Field);
        return n;
    }
    LONG GetActualSize() {
        LONG n = 0;
        ZQK_ADO_RAISE(get_ActualSize(&n), Field);
        return n;
    }
    BYTE GetPrecision() {
        BYTE n = 0;
        ZQK_ADO_RAISE(get_Precision(&n), Field);
        return n;
    }
    BYTE GetNumericScale() {
        BYTE n = 0;
        ZQK_ADO_RAISE(get_NumericScale(&n), Field);
        return n;
    }
    HRESULT AppendChunk(const _variant_t& Data) {
        HRESULT hr = raw_AppendChunk(Data);
        ZQK_ADO_RAISE(hr, Field);
        return hr;
    }
    _variant_t GetChunk(LONG Length) {
        VARIANT v;
        VariantInit(&v);
        ZQK_ADO_RAISE(raw_GetChunk(Length, &v), Field);
        return _variant_t(v, false); // takes v over
    }

protected:
    ~Field() = default;
};

inline _RecordsetPtr _Connection::Execute(_bstr_t CommandText, VARIANT* RecordsAffected,
                                          LONG Options) {
    _Recordset* p = nullptr;
    ZQK_ADO_RAISE(raw_Execute(CommandText, RecordsAffected, Options, &p), _Connection);
    return _RecordsetPtr(p, false);
}

inline _RecordsetPtr _Connection::OpenSchema(SchemaEnum Schema, const _variant_t& Restrictions,
                                             const _variant_t& SchemaID) {
    _Recordset* p = nullptr;
    ZQK_ADO_RAISE(raw_OpenSchema(Schema, Restrictions, SchemaID, &p), _Connection);
    return _RecordsetPtr(p, false);
}

inline _ConnectionPtr _Command::GetActiveConnection() {
    _Connection* p = nullptr;
    ZQK_ADO_RAISE(get_ActiveConnection(&p), _Command);
    return _ConnectionPtr(p, false);
}

inline _RecordsetPtr _Command::Execute(VARIANT* RecordsAffected, VARIANT* Parameters,
                                       LONG Options) {
    _Recordset* p = nullptr;
    ZQK_ADO_RAISE(raw_Execute(RecordsAffected, Parameters, Options, &p), _Command);
    return _RecordsetPtr(p, false);
}

inline FieldsPtr _Recordset::GetFields() {
    Fields* p = nullptr;
    ZQK_ADO_RAISE(get_Fields(&p), _Recordset);
    return FieldsPtr(p, false);
}

inline FieldPtr Fields::GetItem(const _variant_t& Index) {
    Field* p = nullptr;
    ZQK_ADO_RAISE(get_Item(Index, &p), Fields);
    return FieldPtr(p, false);
}
