#pragma once
// The class factory: a new component object for every creation request.

#include <windows.h>

namespace fr::com {

class TClassFactory final : public IClassFactory {
  public:
    TClassFactory();
    TClassFactory(const TClassFactory&) = delete;
    TClassFactory& operator=(const TClassFactory&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppv) override;
    HRESULT STDMETHODCALLTYPE LockServer(BOOL fLock) override;

  private:
    ~TClassFactory();
    LONG refs_ = 1;
};

}  // namespace fr::com
