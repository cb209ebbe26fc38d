// The data-access classes behind the interfaces, and the state their objects share. Inside
// the platform only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ado/AdoCells.h"
#include "platform/ado/AdoInterfaces.h"
#include "platform/ado/AdoProvider.h"

// Late binding is not offered by these objects.
#define ZQK_DISPATCH_NOT_OFFERED                                                                   \
    HRESULT GetTypeInfoCount(UINT* pctinfo) override {                                             \
        if (pctinfo)                                                                               \
            *pctinfo = 0;                                                                          \
        return E_NOTIMPL;                                                                          \
    }                                                                                              \
    HRESULT GetTypeInfo(UINT, DWORD, ITypeInfo**) override {                                       \
        return E_NOTIMPL;                                                                          \
    }                                                                                              \
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, DWORD, DISPID*) override {                      \
        return E_NOTIMPL;                                                                          \
    }                                                                                              \
    HRESULT Invoke(DISPID, REFIID, DWORD, WORD, DISPPARAMS*, tagVARIANT*, EXCEPINFO*, UINT*)       \
        override {                                                                                 \
        return E_NOTIMPL;                                                                          \
    }

// Sets the thread's error information and returns hr.
HRESULT AdoFail(HRESULT hr, const wchar_t* pszSource, const wchar_t* pszDescription);
HRESULT AdoFail(const CAdoError& error);
// The component's own failures, with its texts.
HRESULT AdoFailWith(HRESULT hr, const wchar_t* pszSource);
// Hands a command text to the trace, if one is installed.
void AdoTraceCommand(const wchar_t* pszText);

class CRecordsetCore;
class CAdoFields;
class CAdoField;

// A connection's provider session, shared with the recordsets made on it so that closing the
// connection can close them.
class CConnectionCore {
public:
    std::unique_ptr<CAdoProvider> m_pProvider;
    bool m_bOpen = false;
    LONG m_nTransactionLevel = 0;
    std::vector<CRecordsetCore*> m_recordsets;

    void CloseRecordsets();
};

// What a recordset and its Fields and Field objects share.
class CRecordsetCore {
public:
    ~CRecordsetCore();
    // Starts a result: the cursor, the connection it came from, and the table name when the
    // recordset was opened on a table (for adding rows).
    void Attach(std::shared_ptr<CConnectionCore> pConnection, std::unique_ptr<CAdoCursor> pCursor,
                std::wstring strTable, bool bFetchFirst);
    void Close();
    bool IsOpen() const { return m_pCursor != nullptr; }
    // Reads the first row if that has not happened yet.
    HRESULT EnsureStarted() {
        if (m_bStarted || !m_pCursor)
            return S_OK;
        return Start();
    }
    HRESULT MoveNext();
    bool AtEnd() const { return m_bEOF; }

    size_t ColumnCount() const { return m_pCursor ? m_pCursor->ColumnCount() : 0; }
    const CAdoColumn& Column(size_t nIndex) const { return m_pCursor->Column(nIndex); }
    // A cell of the current row, read straight from the cursor while a walk stands on a row
    // (every cell of a result goes through here).
    HRESULT GetValue(size_t nIndex, VARIANT* pvar) {
        if (!m_bStarted || m_bEOF || m_bAdding || m_bOnInserted || !m_pCursor)
            return GetValueElsewhere(nIndex, pvar);
        VariantInit(pvar);
        HRESULT hr = m_pCursor->GetValue(nIndex, pvar, &m_error);
        return SUCCEEDED(hr) ? S_OK : ValueFailed();
    }
    // The same cell for a reader of text (IZqkRecordsetCells); a failure leaves no error set.
    HRESULT GetCell(size_t nIndex, CAdoCell* pCell) {
        if (!m_bStarted || m_bEOF || m_bAdding || m_bOnInserted || !m_pCursor) {
            pCell->nKind = CAdoCell::kValue;
            return GetValueElsewhere(nIndex, &pCell->var);
        }
        HRESULT hr = m_pCursor->GetCell(nIndex, pCell, &m_error);
        if (FAILED(hr))
            m_error = CAdoError();
        return hr;
    }
    HRESULT PutValue(size_t nIndex, const VARIANT& var);
    HRESULT AppendChunk(size_t nIndex, const VARIANT& var);
    // AppendChunk taking the array over where it can (IZqkFieldChunks::AdoptChunk).
    HRESULT AdoptChunk(size_t nIndex, VARIANT* pData);
    HRESULT GetChunk(size_t nIndex, LONG nLength, VARIANT* pvar);
    // GetChunk's whole value as the cursor's stored bytes (IZqkFieldChunks::GetWholeChunk).
    HRESULT GetWholeChunk(size_t nIndex, LONG nLength, const BYTE** ppBytes, LONG* pnBytes);
    HRESULT ActualSize(size_t nIndex, LONG* pnSize);
    HRESULT AddNew();
    HRESULT Update();

    std::shared_ptr<CConnectionCore> m_pConnection;
    std::unique_ptr<CAdoCursor> m_pCursor;
    std::wstring m_strTable;
    bool m_bStarted = false;
    bool m_bEOF = true;
    bool m_bBOF = true;
    unsigned long m_nRow = 0; // changes whenever the current row does

    // A row being added (AddNew until Update), or the row just inserted. Appended chunks
    // collect in var's byte array, of which the first nChunkBytes bytes are the value: the
    // array grows ahead of them, and is trimmed to them when the row is stored, so that a
    // value given in one piece is copied once and bound without a further copy.
    struct CNewValue {
        bool bSet = false;
        _variant_t var;
        bool bChunks = false;
        size_t nChunkBytes = 0;
    };
    bool m_bAdding = false;
    bool m_bOnInserted = false;
    std::vector<CNewValue> m_newRow;

    // GetChunk's position in the current row's value of one field. value holds the bytes
    // until they are handed over whole; nSize stays.
    struct CChunkState {
        size_t nField = static_cast<size_t>(-1);
        unsigned long nRow = 0;
        _variant_t value;
        size_t nSize = 0;
        size_t nOffset = 0;
    };
    CChunkState m_chunk;

private:
    HRESULT Start();
    HRESULT CursorFailed();
    HRESULT ValueFailed();
    HRESULT GetValueElsewhere(size_t nIndex, VARIANT* pvar);
    HRESULT NewRowValue(size_t nIndex, VARIANT* pvar);
    HRESULT AppendBytes(CNewValue& v, const BYTE* p, size_t n);

    // What the cursor reports a failure in. Kept here rather than made for every call, since
    // calls fail rarely; emptied again after each failure.
    CAdoError m_error;
};

class CAdoConnection;

class CAdoRecordset : public CComObjectRoot<_Recordset, ISupportErrorInfo, IZqkRecordsetCells> {
public:
    CAdoRecordset();
    ZQK_DISPATCH_NOT_OFFERED
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

    HRESULT get_CursorType(CursorTypeEnum* plCursorType) override;
    HRESULT put_CursorType(CursorTypeEnum lCursorType) override;
    HRESULT get_LockType(LockTypeEnum* plLockType) override;
    HRESULT put_LockType(LockTypeEnum lLockType) override;
    HRESULT get_State(LONG* plObjState) override;
    HRESULT get_EOF(VARIANT_BOOL* pb) override;
    HRESULT get_BOF(VARIANT_BOOL* pb) override;
    HRESULT get_Fields(Fields** ppvObject) override;
    HRESULT raw_Open(VARIANT Source, VARIANT ActiveConnection, CursorTypeEnum CursorType,
                     LockTypeEnum LockType, LONG Options) override;
    HRESULT raw_Close() override;
    HRESULT raw_MoveNext() override;
    HRESULT raw_Move(LONG NumRecords, VARIANT Start) override;
    HRESULT raw_GetRows(LONG Rows, VARIANT Start, VARIANT Fields, VARIANT* pvar) override;
    HRESULT raw_AddNew(VARIANT FieldList, VARIANT Values) override;
    HRESULT raw_Update(VARIANT Fields, VARIANT Values) override;
    HRESULT GetCell(LONG nCol, CAdoCell* pCell) override;

    // Opens the recordset over a result the connection produced.
    void Attach(std::shared_ptr<CConnectionCore> pConnection, std::unique_ptr<CAdoCursor> pCursor,
                std::wstring strTable, bool bFetchFirst);
    // Fails when reading the first row failed.
    HRESULT Start();

private:
    ~CAdoRecordset() override;
    HRESULT Closed();

    std::shared_ptr<CRecordsetCore> m_pCore;
    CAdoFields* m_pFields = nullptr; // cached with the result
    CursorTypeEnum m_nCursorType = adOpenForwardOnly;
    LockTypeEnum m_nLockType = adLockReadOnly;
};

class CAdoConnection : public CComObjectRoot<_Connection, ISupportErrorInfo> {
public:
    ZQK_DISPATCH_NOT_OFFERED
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

    HRESULT get_ConnectionString(BSTR* pbstr) override;
    HRESULT put_ConnectionString(BSTR bstr) override;
    HRESULT get_Mode(ConnectModeEnum* plMode) override;
    HRESULT put_Mode(ConnectModeEnum lMode) override;
    HRESULT get_State(LONG* plObjState) override;
    HRESULT raw_Open(BSTR ConnectionString, BSTR UserID, BSTR Password, LONG Options) override;
    HRESULT raw_Close() override;
    HRESULT raw_Execute(BSTR CommandText, VARIANT* RecordsAffected, LONG Options,
                        _Recordset** ppiRset) override;
    HRESULT raw_OpenSchema(SchemaEnum Schema, VARIANT Restrictions, VARIANT SchemaID,
                           _Recordset** pprset) override;
    HRESULT raw_BeginTrans(LONG* TransactionLevel) override;
    HRESULT raw_CommitTrans() override;
    HRESULT raw_RollbackTrans() override;

    // Runs a text that has been traced already (for Command and Recordset).
    HRESULT ExecuteText(const std::wstring& strText, VARIANT* RecordsAffected, _Recordset** ppiRset,
                        const wchar_t* pszSource);
    // Opens a table by name into a recordset (for Recordset.Open with adCmdTable).
    HRESULT OpenTable(const std::wstring& strTable, CAdoRecordset* pRecordset,
                      const wchar_t* pszSource);
    std::shared_ptr<CConnectionCore> Core() const { return m_pCore; }

private:
    ~CAdoConnection() override;
    HRESULT EndTrans(HRESULT (CAdoProvider::*pfnEnd)(CAdoError*));

    std::shared_ptr<CConnectionCore> m_pCore = std::make_shared<CConnectionCore>();
    std::wstring m_strConnection;
    ConnectModeEnum m_nMode = adModeUnknown;
};

class CAdoCommand : public CComObjectRoot<_Command, ISupportErrorInfo> {
public:
    ZQK_DISPATCH_NOT_OFFERED
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

    HRESULT get_ActiveConnection(_Connection** ppvObject) override;
    // Refuses a connection that is not open (adErrInvalidConnection), keeping the one held.
    HRESULT putref_ActiveConnection(_Connection* pCon) override;
    HRESULT get_CommandText(BSTR* pbstr) override;
    HRESULT put_CommandText(BSTR bstr) override;
    HRESULT get_CommandType(CommandTypeEnum* plCmdType) override;
    HRESULT put_CommandType(CommandTypeEnum lCmdType) override;
    HRESULT raw_Execute(VARIANT* RecordsAffected, VARIANT* Parameters, LONG Options,
                        _Recordset** ppiRs) override;

private:
    ~CAdoCommand() override;

    _Connection* m_pConnection = nullptr;
    std::wstring m_strText;
    CommandTypeEnum m_nType = adCmdUnknown;
};

// Final, as CAdoField: the recordset and the collection take their references through the
// class, without the virtual call, as a reader's loop does twice per cell.
class CAdoFields final : public CComObjectRoot<Fields, ISupportErrorInfo> {
public:
    explicit CAdoFields(std::shared_ptr<CRecordsetCore> pCore);
    ZQK_DISPATCH_NOT_OFFERED
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

    HRESULT get_Count(LONG* c) override;
    HRESULT get_Item(VARIANT Index, Field** ppvObject) override;

private:
    ~CAdoFields() override;

    std::shared_ptr<CRecordsetCore> m_pCore;
    std::vector<CAdoField*> m_fields; // created once, handed out with a reference each time
};

class CAdoField final : public CComObjectRoot<Field, ISupportErrorInfo, IZqkFieldChunks> {
public:
    CAdoField(std::shared_ptr<CRecordsetCore> pCore, size_t nIndex);
    ZQK_DISPATCH_NOT_OFFERED
    HRESULT InterfaceSupportsErrorInfo(REFIID riid) override;

    HRESULT get_Value(VARIANT* pvar) override;
    HRESULT put_Value(VARIANT Val) override;
    HRESULT get_Name(BSTR* pbstr) override;
    HRESULT get_Type(DataTypeEnum* pDataType) override;
    HRESULT get_DefinedSize(LONG* pl) override;
    HRESULT get_ActualSize(LONG* pl) override;
    HRESULT raw_AppendChunk(VARIANT Data) override;
    HRESULT raw_GetChunk(LONG Length, VARIANT* pvar) override;
    HRESULT get_Precision(BYTE* pbPrecision) override;
    HRESULT get_NumericScale(BYTE* pbScale) override;
    HRESULT GetWholeChunk(LONG nLength, const BYTE** ppBytes, LONG* pnBytes) override;
    HRESULT AdoptChunk(VARIANT* pData) override;

private:
    HRESULT Closed();
    // One fact of the field's column into *p: E_POINTER for a null p, the closed error when
    // the recordset is closed.
    template <typename T, typename M> HRESULT ColumnFact(T* p, M CAdoColumn::*pFact) {
        if (p == nullptr)
            return E_POINTER;
        if (!m_pCore->IsOpen())
            return Closed();
        *p = m_pCore->Column(m_nIndex).*pFact;
        return S_OK;
    }

    std::shared_ptr<CRecordsetCore> m_pCore;
    size_t m_nIndex;
};

extern const wchar_t kAdoSourceConnection[];
extern const wchar_t kAdoSourceCommand[];
extern const wchar_t kAdoSourceRecordset[];
extern const wchar_t kAdoSourceFields[];
extern const wchar_t kAdoSourceField[];
