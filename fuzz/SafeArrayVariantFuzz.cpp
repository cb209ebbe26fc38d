// Fuzz target: safe arrays and variants as a host hands them over, of any type, bounds and
// dimensions, made by the platform or built by hand on the host's own memory, by value and by
// reference. The input is a little program: each operation's first byte picks it, the bytes
// after it its operands. Four variant slots hold what the operations make; references point
// into storage that outlives every slot, as a host's own variables would.
//
// What the fuzzer hands over is always honest about memory: a hand-built descriptor lies in
// storage the host owns (and says so with FADF_AUTO, FADF_STATIC or FADF_EMBEDDED), its data
// is as large as its bounds say or absent, strings are real BSTRs and objects real objects.
// Everything else (flags, element sizes, types, bounds, locks, dimensions) is arbitrary.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzReader.h"
#include "platform/afx/COleSafeArray.h"
#include "platform/afx/Exceptions.h"
#include "platform/com/ComBase.h"
#include "platform/com/SafeArray.h"
#include "platform/com/Variant.h"

namespace {

const VARTYPE kTypes[] = {VT_EMPTY,   VT_NULL,    VT_I2,      VT_I4,       VT_R4,    VT_R8,
                          VT_CY,      VT_DATE,    VT_BSTR,    VT_DISPATCH, VT_ERROR, VT_BOOL,
                          VT_VARIANT, VT_UNKNOWN, VT_DECIMAL, VT_I1,       VT_UI1,   VT_UI2,
                          VT_UI4,     VT_I8,      VT_UI8,     VT_INT,      VT_UINT,  15,
                          24,         26,         36,         0x0FFF,      0x1003,   0x8003};
const ULONG kCounts[] = {0,   1,     2,          3,          5,          16,
                         255, 65536, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0x20000000};
const LONG kBounds[] = {0, 1, -1, 7, 0x7FFFFFFF, -0x7FFFFFFF - 1, 0x7FFFFFF0, -5};
const ULONG kElementSizes[] = {0, 1, 2, 3, 4, 8, 16, 24, 64, 0xFFFFFFFF};
const USHORT kOwnership[] = {FADF_AUTO, FADF_STATIC, FADF_EMBEDDED};

// Arrays within this many bytes are made; larger ones are asked for only when they exceed
// what an array may hold, so they must be refused without allocating.
const unsigned long long kSmallBytes = 1 << 20;
const unsigned long long kMaxArrayBytes = 0x7FFFFFFF;

// Bytes of data for these bounds, or ~0 when they do not fit in 64 bits.
unsigned long long DataBytes(const SAFEARRAYBOUND* pBounds, UINT cDims, ULONG cbElement) {
    unsigned long long n = cbElement;
    for (UINT i = 0; i < cDims; ++i)
        if (pBounds[i].cElements == 0)
            return 0;
    for (UINT i = 0; i < cDims; ++i) {
        if (pBounds[i].cElements != 0 && n > ~0ULL / pBounds[i].cElements)
            return ~0ULL;
        n *= pBounds[i].cElements;
    }
    return n;
}

ULONG SizeOfType(VARTYPE vt) {
    SAFEARRAYBOUND bound = {1, 0};
    SAFEARRAY* psa = SafeArrayCreate(vt, 1, &bound);
    ULONG n = psa ? psa->cbElements : 0;
    SafeArrayDestroy(psa);
    return n;
}

// Whether making an array of this shape is worth asking for: small, or too large to exist.
bool Askable(const SAFEARRAYBOUND* pBounds, UINT cDims, VARTYPE vt) {
    ULONG cb = SizeOfType(vt);
    unsigned long long n = DataBytes(pBounds, cDims, cb ? cb : 1);
    return n <= kSmallBytes || n > kMaxArrayBytes;
}

// An object whose references are counted, so a lost or extra one shows.
class Counted : public IDispatch {
public:
    HRESULT QueryInterface(REFIID, void** ppv) override {
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    ULONG AddRef() override { return ++m_nRefs; }
    ULONG Release() override {
        if (m_nRefs == 0)
            std::abort(); // released more often than referenced
        return --m_nRefs;
    }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, DWORD, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, DWORD, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, DWORD, WORD, DISPPARAMS*, tagVARIANT*, EXCEPINFO*,
                   UINT*) override {
        return E_NOTIMPL;
    }
    ULONG Refs() const { return m_nRefs; }

private:
    ULONG m_nRefs = 0;
};

// A descriptor with room for four bounds and its data, in memory the host owns.
struct HandBuilt {
    alignas(16) unsigned char descriptor[sizeof(SAFEARRAY) + 3 * sizeof(SAFEARRAYBOUND)];
    std::vector<uint64_t> data; // zeroed whole, unlike a padded type's copies
    SAFEARRAY* Array() { return reinterpret_cast<SAFEARRAY*>(descriptor); }
};

// What references point at: the host's variables, alive until the input is done.
struct Referents {
    alignas(16) unsigned char scalar[32] = {};
    DECIMAL dec = {};
    BSTR bstr = nullptr;
    IUnknown* punk = nullptr;
    SAFEARRAY* parray = nullptr;
    VARIANT var;
};

// An element read out of an array, released the way the array's own type says.
void ReleaseElement(SAFEARRAY* psa, void* pv) {
    VARTYPE vt = VT_EMPTY;
    if (FAILED(SafeArrayGetVartype(psa, &vt)))
        return;
    if (vt == VT_BSTR)
        SysFreeString(*static_cast<BSTR*>(pv));
    else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
        if (*static_cast<IUnknown**>(pv))
            (*static_cast<IUnknown**>(pv))->Release();
    } else if (vt == VT_VARIANT)
        VariantClear(static_cast<VARIANT*>(pv));
}

class Machine {
public:
    explicit Machine(Reader& in) : m_in(in) {
        for (VARIANT& v : m_slots)
            VariantInit(&v);
        VariantInit(&m_ref.var);
    }
    ~Machine() {
        for (VARIANT& v : m_slots)
            Drop(&v);
        Drop(&m_ref.var);
        SysFreeString(m_ref.bstr);
        if (m_ref.punk)
            m_ref.punk->Release();
        SafeArrayDestroy(m_ref.parray);
        // What hand-built arrays still hold, as their owner would release it.
        for (auto& pBuilt : m_built) {
            pBuilt->Array()->cLocks = 0;
            SafeArrayDestroy(pBuilt->Array());
        }
        if (m_object.Refs() != 0)
            std::abort(); // a reference taken and never given back
    }

    void Step() {
        switch (m_in.Byte() % 12) {
        case 0:
            MakeArray(Slot());
            break;
        case 1:
            BuildArray(Slot());
            break;
        case 2:
            MakeValue(Slot());
            break;
        case 3:
            MakeReference(Slot());
            break;
        case 4: {
            VARIANT* pDest = Slot();
            VariantCopy(pDest, Slot());
            break;
        }
        case 5: {
            VARIANT* pDest = Slot();
            VariantCopyInd(pDest, Slot());
            break;
        }
        case 6: {
            VARIANT* pDest = Slot();
            VARIANT* pSrc = m_in.Byte() & 1 ? pDest : Slot();
            VARTYPE vt = m_in.Pick(kTypes) | (m_in.Byte() & 7) << 12;
            VariantChangeType(pDest, pSrc, 0, vt);
            break;
        }
        case 7:
            Inspect(Slot());
            break;
        case 8:
            ArrayCalls(Slot());
            break;
        case 9:
            WrapperCalls(Slot());
            break;
        case 10:
            Drop(Slot());
            break;
        default:
            SetReferents();
            break;
        }
    }

private:
    VARIANT* Slot() { return &m_slots[m_in.Byte() % 4]; }

    // Clears a slot as its owner would, unlocking a hand-built array it locked by hand.
    void Drop(VARIANT* pvar) {
        if ((pvar->vt & VT_ARRAY) && !(pvar->vt & VT_BYREF) && pvar->parray)
            pvar->parray->cLocks = 0;
        VariantClear(pvar);
        VariantInit(pvar);
    }

    void Put(VARIANT* pvar, const VARIANT& value) {
        Drop(pvar);
        *pvar = value;
    }

    void Bounds(SAFEARRAYBOUND* pBounds, UINT cDims) {
        for (UINT i = 0; i < cDims; ++i)
            pBounds[i] = {m_in.Pick(kCounts), m_in.Pick(kBounds)};
    }

    void MakeArray(VARIANT* pvar) {
        VARTYPE vt = m_in.Pick(kTypes);
        UINT cDims = m_in.Byte() % 5;
        SAFEARRAYBOUND bounds[4];
        Bounds(bounds, cDims);
        if (!Askable(bounds, cDims, vt))
            return;
        SAFEARRAY* psa = SafeArrayCreate(vt, cDims, cDims ? bounds : nullptr);
        if (psa == nullptr)
            return;
        if (DataBytes(bounds, cDims, psa->cbElements) > kMaxArrayBytes)
            std::abort(); // an array larger than an array may be
        VARIANT v;
        VariantInit(&v);
        v.vt = static_cast<VARTYPE>(VT_ARRAY | vt);
        v.parray = psa;
        Put(pvar, v);
    }

    void BuildArray(VARIANT* pvar) {
        m_built.push_back(std::make_unique<HandBuilt>());
        HandBuilt& hb = *m_built.back();
        std::memset(hb.descriptor, 0, sizeof hb.descriptor);
        SAFEARRAY* psa = hb.Array();
        psa->cDims = m_in.Byte() % 5;
        // Any flags but a recorded type, which needs room before the descriptor.
        psa->fFeatures =
            static_cast<USHORT>((m_in.U32() & ~FADF_HAVEVARTYPE) | m_in.Pick(kOwnership));
        psa->cbElements = m_in.Pick(kElementSizes);
        psa->cLocks = m_in.Byte() % 3;
        SAFEARRAYBOUND bounds[4];
        Bounds(bounds, psa->cDims);
        for (UINT i = 0; i < psa->cDims; ++i)
            psa->rgsabound[i] = bounds[i];
        unsigned long long nBytes = DataBytes(bounds, psa->cDims, psa->cbElements);
        if (nBytes > 0 && nBytes <= 64 * 1024 && (m_in.Byte() & 3) != 0) {
            hb.data.resize((nBytes + 7) / 8);
            psa->pvData = hb.data.data();
            // Variant elements must be variants; pointer elements start null.
            if (!(psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT)))
                m_in.Bytes(psa->pvData, std::min<unsigned long long>(nBytes, 64));
        }
        VARIANT v;
        VariantInit(&v);
        v.vt = static_cast<VARTYPE>(VT_ARRAY | m_in.Pick(kTypes));
        v.parray = psa;
        Put(pvar, v);
    }

    // A value that is not an array nor a reference: numbers from raw bytes, real strings and
    // real objects.
    VARIANT Value() {
        VARIANT v;
        VariantInit(&v);
        VARTYPE vt = m_in.Pick(kTypes);
        if (vt == VT_BSTR) {
            wchar_t text[8];
            UINT n = m_in.Byte() % 9;
            for (UINT i = 0; i < n; ++i)
                text[i] = static_cast<wchar_t>(m_in.Pick(u"0 -.9eE:1x\xD800\x80\xFFFF"));
            v.bstrVal = m_in.Byte() & 1 ? SysAllocStringLen(text, n) : nullptr;
        } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
            if (m_in.Byte() & 1) {
                m_object.AddRef();
                v.pdispVal = &m_object;
            }
        } else if (vt == VT_DECIMAL) {
            m_in.Bytes(&v.decVal, sizeof v.decVal);
        } else if (vt <= VT_UINT) {
            m_in.Bytes(&v.llVal, sizeof v.llVal);
        }
        v.vt = vt;
        return v;
    }

    void MakeValue(VARIANT* pvar) { Put(pvar, Value()); }

    void MakeReference(VARIANT* pvar) {
        VARTYPE vt = m_in.Pick(kTypes);
        bool bArray = m_in.Byte() & 1;
        VARIANT v;
        VariantInit(&v);
        v.vt = static_cast<VARTYPE>(VT_BYREF | vt | (bArray ? VT_ARRAY : 0));
        if (bArray)
            v.pparray = &m_ref.parray;
        else if (vt == VT_BSTR)
            v.pbstrVal = &m_ref.bstr;
        else if (vt == VT_UNKNOWN || vt == VT_DISPATCH)
            v.ppunkVal = &m_ref.punk;
        else if (vt == VT_VARIANT)
            v.pvarVal = &m_ref.var;
        else if (vt == VT_DECIMAL)
            v.pdecVal = &m_ref.dec;
        else
            v.byref = m_ref.scalar;
        if ((m_in.Byte() & 7) == 0)
            v.byref = nullptr;
        Put(pvar, v);
    }

    // Changes what references point at, as a host changes its variables.
    void SetReferents() {
        switch (m_in.Byte() % 4) {
        case 0:
            m_in.Bytes(m_ref.scalar, sizeof m_ref.scalar);
            m_in.Bytes(&m_ref.dec, sizeof m_ref.dec);
            break;
        case 1: {
            VARIANT v = Value();
            SysFreeString(m_ref.bstr);
            m_ref.bstr = v.vt == VT_BSTR ? v.bstrVal : nullptr;
            if (v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH) {
                if (m_ref.punk)
                    m_ref.punk->Release();
                m_ref.punk = v.punkVal;
            }
            break;
        }
        case 2: {
            // The referenced variant: a copy of a slot, or a reference to itself.
            if (m_in.Byte() & 1) {
                Drop(&m_ref.var);
                m_ref.var.vt = VT_BYREF | VT_VARIANT;
                m_ref.var.pvarVal = &m_ref.var;
            } else {
                VARIANT copy;
                VariantInit(&copy);
                if (SUCCEEDED(VariantCopy(&copy, Slot())))
                    Put(&m_ref.var, copy);
            }
            break;
        }
        default: {
            VARIANT* pSlot = Slot();
            SAFEARRAY* pCopy = nullptr;
            if ((pSlot->vt & VT_ARRAY) && !(pSlot->vt & VT_BYREF) &&
                SUCCEEDED(SafeArrayCopy(pSlot->parray, &pCopy))) {
                SafeArrayDestroy(m_ref.parray);
                m_ref.parray = pCopy;
            }
            break;
        }
        }
    }

    void Inspect(VARIANT* pvar) {
        VARIANT borrowed;
        if (FAILED(ZqkVariantDereference(pvar, &borrowed)))
            return;
        if (borrowed.vt & VT_ARRAY) {
            LONG n = 0;
            for (UINT d = 0; d <= SafeArrayGetDim(borrowed.parray) + 1; ++d) {
                SafeArrayGetLBound(borrowed.parray, d, &n);
                SafeArrayGetUBound(borrowed.parray, d, &n);
            }
        } else if (borrowed.vt != VT_BSTR) {
            wchar_t text[kZqkVariantTextRoom];
            size_t n = 0;
            ZqkVariantToText(&borrowed, text, &n);
        }
        SAFEARRAY* psa = nullptr;
        ZqkVariantArray(pvar, m_in.Pick(kTypes), &psa);
    }

    void Indexes(LONG* rgIndices, UINT cDims, SAFEARRAY* psa) {
        for (UINT d = 0; d < cDims; ++d) {
            LONG lower = d < psa->cDims ? psa->rgsabound[psa->cDims - 1 - d].lLbound : 0;
            uint8_t b = m_in.Byte();
            // Near the lower bound, wrapping at the ends of the range as a host's LONG would.
            rgIndices[d] = b & 0x80
                               ? m_in.Pick(kBounds)
                               : static_cast<LONG>(static_cast<uint32_t>(lower) + (b & 0x7F) - 2);
        }
    }

    // A value for an element of psa, in the form PutElement takes for its type.
    void PutOne(SAFEARRAY* psa, LONG* rgIndices) {
        VARTYPE vt = VT_EMPTY;
        SafeArrayGetVartype(psa, &vt);
        alignas(16) unsigned char raw[256];
        m_in.Bytes(raw, sizeof raw);
        if (vt == VT_BSTR) {
            BSTR s = m_in.Byte() & 1 ? SysAllocString(L"element") : nullptr;
            SafeArrayPutElement(psa, rgIndices, s);
            SysFreeString(s);
        } else if (vt == VT_UNKNOWN || vt == VT_DISPATCH) {
            SafeArrayPutElement(psa, rgIndices, m_in.Byte() & 1 ? &m_object : nullptr);
        } else if (vt == VT_VARIANT) {
            SafeArrayPutElement(psa, rgIndices, Slot());
        } else {
            SafeArrayPutElement(psa, rgIndices, m_in.Byte() & 1 ? raw : nullptr);
        }
    }

    void ArrayCalls(VARIANT* pvar) {
        SAFEARRAY* psa = nullptr;
        if (m_in.Byte() & 1) {
            if (FAILED(ZqkVariantArray(pvar, m_in.Pick(kTypes), &psa)))
                return;
        } else if ((pvar->vt & VT_ARRAY) && !(pvar->vt & VT_BYREF)) {
            psa = pvar->parray; // whatever it is: the calls must check it
        } else {
            return;
        }
        LONG rgIndices[6];
        UINT cDims = (psa ? psa->cDims : 0) + (m_in.Byte() % 3 == 0 ? 1 : 0);
        if (cDims > 6)
            cDims = 6;
        if (psa)
            Indexes(rgIndices, cDims, psa);
        else
            std::memset(rgIndices, 0, sizeof rgIndices);
        switch (m_in.Byte() % 7) {
        case 0: {
            alignas(16) unsigned char element[256] = {};
            if (SUCCEEDED(SafeArrayGetElement(psa, rgIndices, element)))
                ReleaseElement(psa, element);
            break;
        }
        case 1:
            PutOne(psa, rgIndices);
            break;
        case 2: {
            SAFEARRAY* pCopy = nullptr;
            if (SUCCEEDED(SafeArrayCopy(psa, &pCopy)))
                SafeArrayDestroy(pCopy);
            break;
        }
        case 3: {
            SAFEARRAYBOUND bound = {m_in.Pick(kCounts), m_in.Pick(kBounds)};
            if (psa == nullptr || psa->cDims == 0)
                break;
            std::vector<SAFEARRAYBOUND> shape(psa->rgsabound, psa->rgsabound + psa->cDims);
            shape[0] = bound;
            unsigned long long nBytes =
                DataBytes(shape.data(), psa->cDims, psa->cbElements ? psa->cbElements : 1);
            if (nBytes <= kSmallBytes || nBytes > kMaxArrayBytes)
                SafeArrayRedim(psa, &bound);
            break;
        }
        case 4: {
            VARTYPE vt = VT_EMPTY;
            SafeArrayGetVartype(psa, &vt);
            SafeArrayGetElemsize(psa);
            void* pData = nullptr;
            if (SUCCEEDED(SafeArrayAccessData(psa, &pData)))
                SafeArrayUnaccessData(psa);
            break;
        }
        case 5: {
            void* p = nullptr;
            SafeArrayPtrOfIndex(psa, rgIndices, &p);
            break;
        }
        default:
            if (SUCCEEDED(SafeArrayLock(psa)))
                SafeArrayUnlock(psa);
            SafeArrayUnlock(psa);
            break;
        }
    }

    void WrapperCalls(VARIANT* pvar) {
        try {
            COleSafeArray sa;
            uint8_t how = m_in.Byte();
            if (how % 3 == 0) {
                COleSafeArray copy(*pvar);
                sa = copy;
            } else if (how % 3 == 1) {
                VARTYPE vt = m_in.Pick(kTypes);
                SAFEARRAYBOUND bound = {m_in.Pick(kCounts), m_in.Pick(kBounds)};
                if (!Askable(&bound, 1, vt))
                    return;
                long nLower = (m_in.Byte() & 1) ? bound.lLbound : 0x100000000L;
                alignas(16) unsigned char raw[64];
                m_in.Bytes(raw, sizeof raw);
                bool bFill = bound.cElements * 16ULL <= sizeof raw && vt != VT_BSTR &&
                             vt != VT_VARIANT && vt != VT_UNKNOWN && vt != VT_DISPATCH;
                sa.CreateOneDim(vt, bound.cElements, bFill ? raw : nullptr, nLower);
            } else {
                VARTYPE vt = m_in.Pick(kTypes);
                DWORD cDims = m_in.Byte() % 4;
                SAFEARRAYBOUND bounds[3];
                DWORD counts[3];
                for (DWORD i = 0; i < cDims; ++i) {
                    counts[i] = m_in.Pick(kCounts);
                    bounds[i] = {counts[i], 0};
                }
                if (!Askable(bounds, cDims, vt))
                    return;
                sa.Create(vt, cDims, counts);
            }
            long rgIndices[6];
            for (long& n : rgIndices)
                n = m_in.Byte() & 0x80 ? static_cast<long>(m_in.U32()) << 8 : m_in.Byte() % 4;
            switch (m_in.Byte() % 6) {
            case 0: {
                alignas(16) unsigned char element[256] = {};
                sa.GetElement(rgIndices, element);
                ReleaseElement(sa.parray, element);
                break;
            }
            case 1: {
                long n = 0;
                sa.GetLBound(m_in.Byte() % 5, &n);
                sa.GetUBound(m_in.Byte() % 5, &n);
                sa.GetOneDimSize();
                sa.GetElemSize();
                sa.GetDim();
                break;
            }
            case 2: {
                SAFEARRAYBOUND bound = {m_in.Pick(kCounts), 0};
                if (sa.parray && sa.parray->cDims == 1 && Askable(&bound, 1, VT_UI1) &&
                    Askable(&bound, 1, VT_VARIANT))
                    sa.ResizeOneDim(bound.cElements);
                break;
            }
            case 3: {
                // Handed back to a slot, or a slot's array taken over.
                if (m_in.Byte() & 1) {
                    Put(pvar, sa.Detach());
                } else {
                    sa.Attach(*pvar);
                }
                break;
            }
            case 4: {
                alignas(16) unsigned char raw[256];
                m_in.Bytes(raw, sizeof raw);
                VARTYPE vt = VT_EMPTY;
                if (sa.parray == nullptr || FAILED(SafeArrayGetVartype(sa.parray, &vt)))
                    break;
                if (vt == VT_VARIANT)
                    sa.PutElement(rgIndices, Slot());
                else if (vt == VT_BSTR || vt == VT_UNKNOWN || vt == VT_DISPATCH)
                    sa.PutElement(rgIndices, nullptr);
                else
                    sa.PutElement(rgIndices, raw);
                break;
            }
            default: {
                void* p = nullptr;
                sa.AccessData(&p);
                sa.UnaccessData();
                break;
            }
            }
        } catch (CException* e) {
            e->Delete();
        }
    }

    Reader& m_in;
    VARIANT m_slots[4];
    Counted m_object; // declared before the storage that refers to it, so it outlives it
    Referents m_ref;
    std::vector<std::unique_ptr<HandBuilt>> m_built;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Reader in(data, size);
    Machine machine(in);
    for (int nSteps = 0; in.More() && nSteps < 64; ++nSteps)
        machine.Step();
    return 0;
}
