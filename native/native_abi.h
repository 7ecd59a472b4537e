#pragma once
// The platform's Native API as the component sees it: its value type, the
// three interface tables the component implements and the two platform
// interfaces it calls, in the platform's own table layout on each ABI.

#include <cstddef>
#include <cstdint>
#include <ctime>

// The platform on Windows is built with the Microsoft compiler: one destructor
// slot per table and __stdcall methods. On Linux it is built with GCC: the
// complete and the deleting destructor, two slots.
#ifndef FR_NATIVE_DESTRUCTOR_SLOTS
#ifdef _WIN32
#define FR_NATIVE_DESTRUCTOR_SLOTS 1
#else
#define FR_NATIVE_DESTRUCTOR_SLOTS 2
#endif
#endif

#ifdef _WIN32
#define FR_NATIVE_CALL __stdcall
#else
#define FR_NATIVE_CALL
#endif

// The destructor slot(s) at the head of one table. With one slot it stands for
// the Microsoft compiler's deleting destructor (a plain member function is
// thiscall on 32-bit MinGW, as that slot is); the platform never calls it.
#if FR_NATIVE_DESTRUCTOR_SLOTS == 2
#define FR_NATIVE_DESTRUCTOR(Interface) virtual ~Interface() = default
#elif FR_NATIVE_DESTRUCTOR_SLOTS == 1
#define FR_NATIVE_DESTRUCTOR(Interface)              \
    virtual void* DeletingDestructorSlot(unsigned) { \
        return this;                                 \
    }
#else
#error "FR_NATIVE_DESTRUCTOR_SLOTS must be 1 or 2"
#endif

namespace fr::native {

// One UTF-16 code unit on every OS (wchar_t is 4 bytes on Linux).
using WCHAR_T = char16_t;

enum TNativeType : uint16_t {
    VTYPE_EMPTY = 0,
    VTYPE_NULL = 1,
    VTYPE_I2 = 2,
    VTYPE_I4 = 3,
    VTYPE_R4 = 4,
    VTYPE_R8 = 5,
    VTYPE_DATE = 6,
    VTYPE_TM = 7,
    VTYPE_PSTR = 8,
    VTYPE_INTERFACE = 9,
    VTYPE_ERROR = 10,
    VTYPE_BOOL = 11,
    VTYPE_VARIANT = 12,
    VTYPE_I1 = 13,
    VTYPE_UI1 = 14,
    VTYPE_UI2 = 15,
    VTYPE_UI4 = 16,
    VTYPE_I8 = 17,
    VTYPE_UI8 = 18,
    VTYPE_INT = 19,
    VTYPE_UINT = 20,
    VTYPE_HRESULT = 21,
    VTYPE_PWSTR = 22,
    VTYPE_BLOB = 23,
    VTYPE_CLSID = 24,
};

struct tVariant {
    union {
        int8_t i8Val;
        int16_t shortVal;
        int32_t lVal;
        int32_t intVal;
        uint32_t uintVal;
        int64_t llVal;
        uint8_t ui8Val;
        uint16_t ushortVal;
        uint32_t ulVal;
        uint64_t ullVal;
        int32_t errCode;
        int32_t hRes;  // the low half of a 64-bit long on Linux
        float fltVal;
        double dblVal;
        bool bVal;
        double date;  // days since 1899-12-30
        std::tm tmVal;
        struct {
            char* pstrVal;
            uint32_t strLen;  // bytes
        } str;
        struct {
            WCHAR_T* pwstrVal;
            uint32_t wstrLen;  // code units, without the terminating zero
        } wstr;
    };
    uint32_t cbElements;
    uint16_t vt;
};

#ifdef _WIN32
static_assert(sizeof(tVariant) == 48 && offsetof(tVariant, cbElements) == 40 &&
              offsetof(tVariant, vt) == 44);
#else
static_assert(sizeof(tVariant) == 64 && offsetof(tVariant, cbElements) == 56 &&
              offsetof(tVariant, vt) == 60);
#endif

// The platform's memory: everything handed to the platform is allocated here.
class IMemoryManager {
  public:
    FR_NATIVE_DESTRUCTOR(IMemoryManager);
    virtual bool FR_NATIVE_CALL AllocMemory(void** pMemory, unsigned long ulCountByte) = 0;
    virtual void FR_NATIVE_CALL FreeMemory(void** pMemory) = 0;
};

// The platform's connection object (the strings passed stay the component's).
class IAddInDefBase {
  public:
    FR_NATIVE_DESTRUCTOR(IAddInDefBase);
    virtual bool FR_NATIVE_CALL AddError(unsigned short wcode, const WCHAR_T* source,
                                         const WCHAR_T* descr, long scode) = 0;
    virtual bool FR_NATIVE_CALL Read(WCHAR_T* wszPropName, tVariant* pVal, long* pErrCode,
                                     WCHAR_T** errDescriptor) = 0;
    virtual bool FR_NATIVE_CALL Write(WCHAR_T* wszPropName, tVariant* pVar) = 0;
    virtual bool FR_NATIVE_CALL RegisterProfileAs(WCHAR_T* wszProfileName) = 0;
    virtual bool FR_NATIVE_CALL SetEventBufferDepth(long lDepth) = 0;
    virtual long FR_NATIVE_CALL GetEventBufferDepth() = 0;
    virtual bool FR_NATIVE_CALL ExternalEvent(WCHAR_T* wszSource, WCHAR_T* wszMessage,
                                              WCHAR_T* wszData) = 0;
    virtual void FR_NATIVE_CALL CleanEventBuffer() = 0;
    virtual bool FR_NATIVE_CALL SetStatusLine(WCHAR_T* wszStatusLine) = 0;
    virtual void FR_NATIVE_CALL ResetStatusLine() = 0;
};

// AddError codes.
constexpr unsigned short kAddInErrorFail = 1006;

class IInitDoneBase {
  public:
    FR_NATIVE_DESTRUCTOR(IInitDoneBase);
    virtual bool FR_NATIVE_CALL Init(void* disp) = 0;
    virtual bool FR_NATIVE_CALL setMemManager(void* mem) = 0;
    virtual long FR_NATIVE_CALL GetInfo() = 0;
    virtual void FR_NATIVE_CALL Done() = 0;
};

class ILanguageExtenderBase {
  public:
    FR_NATIVE_DESTRUCTOR(ILanguageExtenderBase);
    virtual bool FR_NATIVE_CALL RegisterExtensionAs(WCHAR_T** wsExtensionName) = 0;
    virtual long FR_NATIVE_CALL GetNProps() = 0;
    virtual long FR_NATIVE_CALL FindProp(const WCHAR_T* wsPropName) = 0;
    virtual const WCHAR_T* FR_NATIVE_CALL GetPropName(long lPropNum, long lPropAlias) = 0;
    virtual bool FR_NATIVE_CALL GetPropVal(const long lPropNum, tVariant* pvarPropVal) = 0;
    virtual bool FR_NATIVE_CALL SetPropVal(const long lPropNum, tVariant* varPropVal) = 0;
    virtual bool FR_NATIVE_CALL IsPropReadable(const long lPropNum) = 0;
    virtual bool FR_NATIVE_CALL IsPropWritable(const long lPropNum) = 0;
    virtual long FR_NATIVE_CALL GetNMethods() = 0;
    virtual long FR_NATIVE_CALL FindMethod(const WCHAR_T* wsMethodName) = 0;
    virtual const WCHAR_T* FR_NATIVE_CALL GetMethodName(const long lMethodNum,
                                                        const long lMethodAlias) = 0;
    virtual long FR_NATIVE_CALL GetNParams(const long lMethodNum) = 0;
    virtual bool FR_NATIVE_CALL GetParamDefValue(const long lMethodNum, const long lParamNum,
                                                 tVariant* pvarParamDefValue) = 0;
    virtual bool FR_NATIVE_CALL HasRetVal(const long lMethodNum) = 0;
    virtual bool FR_NATIVE_CALL CallAsProc(const long lMethodNum, tVariant* paParams,
                                           const long lSizeArray) = 0;
    virtual bool FR_NATIVE_CALL CallAsFunc(const long lMethodNum, tVariant* pvarRetValue,
                                           tVariant* paParams, const long lSizeArray) = 0;
};

class LocaleBase {
  public:
    FR_NATIVE_DESTRUCTOR(LocaleBase);
    virtual void FR_NATIVE_CALL SetLocale(const WCHAR_T* loc) = 0;
};

// The object the platform receives: three table pointers, one per base, in this order.
class IComponentBase : public IInitDoneBase, public ILanguageExtenderBase, public LocaleBase {};

}  // namespace fr::native
