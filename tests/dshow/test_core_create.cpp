// CreateComInstance, the creation function of the modules' class tables: what
// comes back when the constructor succeeds, fails or cannot get memory, and
// the leading constant arguments.
#include <gtest/gtest.h>

#include <new>

#include "TestKit.h"

namespace {

// {5E0F7C2A-31B4-4C8E-9D3A-6A1B2C3D4E5F}
DEFINE_GUID(CLSID_TestMade, 0x5e0f7c2a, 0x31b4, 0x4c8e, 0x9d, 0x3a, 0x6a, 0x1b, 0x2c, 0x3d, 0x4e,
            0x5f);

// What the next construction does.
HRESULT g_constructorResult = S_OK;
bool g_noMemory = false;

class CMade : public CUnknown {
public:
    static void* operator new(size_t size, const std::nothrow_t&) noexcept
    {
        return g_noMemory ? nullptr : ::operator new(size, std::nothrow);
    }
    static void operator delete(void* p) noexcept { ::operator delete(p); }

    const CLSID& Clsid() const { return m_clsid; }
    LPUNKNOWN Outer() { return GetOwner(); }

private:
    template <class T, auto... Args> friend CUnknown* ::CreateComInstance(LPUNKNOWN, HRESULT*);
    CMade(LPUNKNOWN outer, HRESULT* phr) : CMade(GUID_NULL, outer, phr) {}
    CMade(REFCLSID clsid, LPUNKNOWN outer, HRESULT* phr)
        : CUnknown("made", outer, phr), m_clsid(clsid)
    {
        *phr = g_constructorResult;
    }

    CLSID m_clsid;
};

class CreateComInstanceTest : public TvLeakCheck {
protected:
    void TearDown() override
    {
        g_constructorResult = S_OK;
        g_noMemory = false;
        TvLeakCheck::TearDown();
    }
};

} // namespace

TEST_F(CreateComInstanceTest, AnObjectOrNullWithTheReason)
{
    struct Row {
        const char* name;
        HRESULT constructorResult;
        bool noMemory;
        bool made;
        HRESULT expected; // *phr afterwards (it starts as S_OK)
    };
    const Row rows[] = {
        {"constructed", S_OK, false, true, S_OK},
        {"constructed with a success code", S_FALSE, false, true, S_OK},
        {"constructor fails", E_FAIL, false, false, E_FAIL},
        {"constructor runs out", E_OUTOFMEMORY, false, false, E_OUTOFMEMORY},
        {"no memory for the object", S_OK, true, false, E_OUTOFMEMORY},
    };
    for (const Row& row : rows) {
        g_constructorResult = row.constructorResult;
        g_noMemory = row.noMemory;
        const LONG before = CBaseObject::ObjectsActive();
        HRESULT hr = S_OK;
        CUnknown* object = CreateComInstance<CMade>(nullptr, &hr);
        EXPECT_EQ(object != nullptr, row.made) << row.name;
        EXPECT_EQ(hr, row.expected) << row.name;
        if (object) {
            EXPECT_EQ(object->NonDelegatingAddRef(), 1u) << row.name << ": returned unreferenced";
            EXPECT_EQ(object->NonDelegatingRelease(), 0u) << row.name;
        }
        EXPECT_EQ(CBaseObject::ObjectsActive(), before) << row.name << ": nothing left behind";
        // The result pointer is optional.
        object = CreateComInstance<CMade>(nullptr, nullptr);
        EXPECT_EQ(object != nullptr, row.made) << row.name;
        if (object)
            delete object;
    }
}

TEST_F(CreateComInstanceTest, PassesTheClassIdAndTheOuterObject)
{
    CUnknown outer("outer", nullptr);
    HRESULT hr = S_OK;
    auto* made = static_cast<CMade*>(
        CreateComInstance<CMade, CLSID_TestMade>(outer.GetNonDelegatingUnknown(), &hr));
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(hr, S_OK);
    EXPECT_EQ(made->Clsid(), CLSID_TestMade);
    EXPECT_EQ(made->Outer(), outer.GetNonDelegatingUnknown());
    delete made;
}
