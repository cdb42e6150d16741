// COM helpers: the apartment scope, interface pointers that release themselves, owners of BSTR
// and VARIANT, and the common part of the dispatch objects the projector and the host make.
//
//   ComScope com;                                       // CoInitialize for this scope
//   ComPtr<IShellLinkA> link;
//   CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.put_void());
//   ComPtr<IPersistFile> file = link.query<IPersistFile>(IID_IPersistFile);
#pragma once

#include <utility>

#include "platform/windows.h"

#include <objbase.h>
#include <oleauto.h>

namespace tarpon::platform {

// CoInitialize for the life of the scope; uninitialises only when it initialised (S_OK or S_FALSE).
class ComScope {
public:
    ComScope() : m_result(CoInitialize(nullptr)) {}
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;
    ~ComScope() {
        if (SUCCEEDED(m_result)) {
            CoUninitialize();
        }
    }
    bool ok() const { return SUCCEEDED(m_result); }

private:
    HRESULT m_result;
};

// An interface pointer holding one reference.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    // Takes over a reference the caller owns.
    explicit ComPtr(T* pointer) : m_pointer(pointer) {}
    ComPtr(const ComPtr& other) : m_pointer(other.m_pointer) {
        if (m_pointer != nullptr) {
            m_pointer->AddRef();
        }
    }
    ComPtr& operator=(const ComPtr& other) {
        ComPtr copy(other);
        std::swap(m_pointer, copy.m_pointer);
        return *this;
    }
    ComPtr(ComPtr&& other) noexcept : m_pointer(std::exchange(other.m_pointer, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr moved(std::move(other));
        std::swap(m_pointer, moved.m_pointer);
        return *this;
    }
    ~ComPtr() { reset(); }

    T* get() const { return m_pointer; }
    T* operator->() const { return m_pointer; }
    explicit operator bool() const { return m_pointer != nullptr; }
    // For calls that return a new reference through a pointer; releases what was held first.
    T** put() {
        reset();
        return &m_pointer;
    }
    void** put_void() { return reinterpret_cast<void**>(put()); }
    T* release() { return std::exchange(m_pointer, nullptr); }
    void reset() {
        if (T* old = std::exchange(m_pointer, nullptr)) {
            old->Release();
        }
    }
    // Another interface of the same object; empty when the object does not offer it.
    template <typename U>
    ComPtr<U> query(REFIID iid) const {
        ComPtr<U> other;
        if (m_pointer != nullptr) {
            m_pointer->QueryInterface(iid, other.put_void());
        }
        return other;
    }

private:
    T* m_pointer = nullptr;
};

// A BSTR freed with SysFreeString.
class Bstr {
public:
    Bstr() = default;
    explicit Bstr(const wchar_t* text) : m_text(SysAllocString(text)) {}
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;
    Bstr(Bstr&& other) noexcept : m_text(std::exchange(other.m_text, nullptr)) {}
    Bstr& operator=(Bstr&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.m_text, nullptr));
        }
        return *this;
    }
    ~Bstr() { reset(); }

    BSTR get() const { return m_text; }
    BSTR* put() {
        reset();
        return &m_text;
    }
    UINT length() const { return m_text != nullptr ? SysStringLen(m_text) : 0; }
    void reset(BSTR text = nullptr) {
        if (m_text != nullptr) {
            SysFreeString(m_text);
        }
        m_text = text;
    }

private:
    BSTR m_text = nullptr;
};

// A VARIANT cleared with VariantClear.
class Variant {
public:
    Variant() { VariantInit(&m_value); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;
    ~Variant() { VariantClear(&m_value); }

    VARIANT* get() { return &m_value; }
    const VARIANT* get() const { return &m_value; }
    // Clears what is held and gives the variant for a call to fill.
    VARIANT* put() {
        VariantClear(&m_value);
        return &m_value;
    }

private:
    VARIANT m_value;
};

// The IUnknown half and the type-information calls of a dispatch object made here (event sinks,
// callbacks): it answers IUnknown, IDispatch and `also` (an event interface, or IID_NULL for none),
// starts with one reference and deletes itself at the last release, after `last_release`. It
// describes no types; a subclass gives GetIDsOfNames and Invoke.
class DispatchObject : public IDispatch {
public:
    explicit DispatchObject(const IID& also = IID_NULL) : m_also(also) {}
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            (!IsEqualIID(m_also, IID_NULL) && IsEqualIID(iid, m_also))) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_references;
        if (left == 0) {
            last_release();
            delete this;
        }
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr) {
            return E_POINTER;
        }
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info != nullptr) {
            *info = nullptr;
        }
        return E_NOTIMPL;
    }

protected:
    virtual ~DispatchObject() = default;
    // Runs once, as the last reference goes.
    virtual void last_release() {}

private:
    IID m_also;
    ULONG m_references = 1;
};

}  // namespace tarpon::platform
