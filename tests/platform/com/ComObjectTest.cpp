#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/com/ComObject.h"

// Two interface families: IDog derives from IAnimal, ICounter stands alone.
struct IAnimal : IUnknown {
    virtual int Legs() = 0;

protected:
    ~IAnimal() = default;
};
ZQK_COM_INTERFACE(IAnimal, IUnknown, 0x7A1C0001, 0x0001, 0x0001, 1, 2, 3, 4, 5, 6, 7, 8)

struct IDog : IAnimal {
    virtual int Bark() = 0;

protected:
    ~IDog() = default;
};
ZQK_COM_INTERFACE(IDog, IAnimal, 0x7A1C0002, 0x0002, 0x0002, 1, 2, 3, 4, 5, 6, 7, 8)

struct ICounter : IUnknown {
    virtual int Next() = 0;

protected:
    ~ICounter() = default;
};
ZQK_COM_INTERFACE(ICounter, IUnknown, 0x7A1C0003, 0x0003, 0x0003, 1, 2, 3, 4, 5, 6, 7, 8)

namespace {

std::atomic<int> g_nLiveDogs{0};

class CDog : public CComObjectRoot<IDog, ICounter> {
public:
    CDog() { ++g_nLiveDogs; }
    int Legs() override { return 4; }
    int Bark() override { return 1; }
    int Next() override { return ++m_n; }

private:
    ~CDog() override { --g_nLiveDogs; }
    int m_n = 0;
};

// Every test starts and ends with no object alive.
class ComObject : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(0, g_nLiveDogs.load()); }
    void TearDown() override { EXPECT_EQ(0, g_nLiveDogs.load()); }
};

} // namespace

TEST_F(ComObject, StartsWithOneReferenceAndDiesWithTheLast) {
    CDog* pDog = new CDog;
    EXPECT_EQ(1, g_nLiveDogs.load());
    EXPECT_EQ(1u, ComRefCount(static_cast<IDog*>(pDog)));
    EXPECT_EQ(2u, pDog->AddRef());
    EXPECT_EQ(3u, pDog->AddRef());
    EXPECT_EQ(3u, ComRefCount(static_cast<ICounter*>(pDog)));
    EXPECT_EQ(2u, pDog->Release());
    EXPECT_EQ(1u, pDog->Release());
    EXPECT_EQ(1, g_nLiveDogs.load());
    EXPECT_EQ(0u, pDog->Release());
    EXPECT_EQ(0, g_nLiveDogs.load());
    EXPECT_EQ(0u, ComRefCount(nullptr));
}

TEST_F(ComObject, QueryInterfaceAnswersListedInterfacesAndTheirBases) {
    CDog* pDog = new CDog;
    IDog* pAsDog = pDog;
    ICounter* pAsCounter = pDog;

    void* pv = nullptr;
    ASSERT_EQ(S_OK, pAsCounter->QueryInterface(__uuidof(IDog), &pv));
    EXPECT_EQ(static_cast<void*>(pAsDog), pv);
    EXPECT_EQ(2u, ComRefCount(pAsDog));
    EXPECT_EQ(1, static_cast<IDog*>(pv)->Bark());
    static_cast<IDog*>(pv)->Release();

    // A base interface of a listed one is answered through it.
    IAnimal* pAnimal = nullptr;
    ASSERT_EQ(S_OK, pAsCounter->QueryInterface(&pAnimal));
    EXPECT_EQ(static_cast<IAnimal*>(pAsDog), pAnimal);
    EXPECT_EQ(4, pAnimal->Legs());

    ICounter* pCounter = nullptr;
    ASSERT_EQ(S_OK, pAnimal->QueryInterface(&pCounter));
    EXPECT_EQ(pAsCounter, pCounter);
    EXPECT_EQ(1, pCounter->Next());
    EXPECT_EQ(3u, ComRefCount(static_cast<IDog*>(pDog)));
    pCounter->Release();
    pAnimal->Release();

    // One IUnknown whichever route is taken, although the ICounter part has its own address.
    IUnknown* pFromDog = nullptr;
    IUnknown* pFromCounter = nullptr;
    ASSERT_EQ(S_OK, pAsDog->QueryInterface(&pFromDog));
    ASSERT_EQ(S_OK, pAsCounter->QueryInterface(&pFromCounter));
    EXPECT_EQ(pFromDog, pFromCounter);
    EXPECT_NE(static_cast<void*>(pAsCounter), static_cast<void*>(pFromDog));
    pFromDog->Release();
    pFromCounter->Release();
    EXPECT_EQ(1u, ComRefCount(pAsDog));
    pDog->Release();
}

TEST_F(ComObject, QueryInterfaceRefusesOthersAndNullOutArguments) {
    CDog* pDog = new CDog;
    void* pv = &pv;
    EXPECT_EQ(E_NOINTERFACE, pDog->QueryInterface(GUID_NULL, &pv));
    EXPECT_EQ(nullptr, pv);
    EXPECT_EQ(E_POINTER, pDog->QueryInterface(__uuidof(IDog), nullptr));
    EXPECT_EQ(1u, ComRefCount(static_cast<IDog*>(pDog))); // refusals take no reference
    pDog->Release();
}

TEST_F(ComObject, ReferenceCountIsThreadSafe) {
    // Run by itself the process has one thread here, so these references are counted without
    // the locked instructions; the threads started next must see every one of them and count
    // atomically from then on, or the object dies early (the sanitizer builds report the use)
    // or never.
    CDog* pDog = new CDog;
    for (int i = 0; i < 1000; ++i)
        pDog->AddRef();
    EXPECT_EQ(1001u, ComRefCount(static_cast<IDog*>(pDog)));
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([pDog] {
            for (int i = 0; i < 20000; ++i) {
                ICounter* p = nullptr;
                if (pDog->QueryInterface(__uuidof(ICounter), reinterpret_cast<void**>(&p)) == S_OK)
                    p->Release();
                if (i % 80 == 0)
                    pDog->Release(); // 250 of the references taken above, per thread
            }
        });
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(1, g_nLiveDogs.load());
    EXPECT_EQ(1u, ComRefCount(static_cast<IDog*>(pDog)));
    EXPECT_EQ(0u, pDog->Release());
}
