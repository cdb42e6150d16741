// Late-bound access to the automation interface: names to dispatch ids without regard to case, and
// Invoke by dispatch id. Every member is called through the interface itself, so a script host and
// a container calling the vtable directly see the same behaviour. Arguments arrive in reverse order
// and are coerced with VariantChangeType to the types the member declares.
#include <cwctype>
#include <tuple>
#include <type_traits>
#include <utility>

#include "player/control/player_control.h"

namespace tarpon::player {

namespace {

// The positional arguments of one call, in declared order.
class Arguments {
  public:
    Arguments(const DISPPARAMS& params, UINT* argument_error) : m_params(params), m_error(argument_error) {}

    UINT count() const { return m_params.cArgs; }

    // Argument `index` coerced to `type` into `out`.
    HRESULT get(UINT index, VARTYPE type, VARIANT& out) const {
        UINT slot = m_params.cArgs - 1 - index;
        HRESULT result = VariantChangeType(&out, &m_params.rgvarg[slot], 0, type);
        if (FAILED(result)) {
            if (m_error != nullptr) {
                *m_error = slot;
            }
            return result == DISP_E_OVERFLOW ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH;
        }
        return S_OK;
    }

  private:
    const DISPPARAMS& m_params;
    UINT* m_error;
};

// An input parameter type: its variant type and how to read it from a coerced variant.
template <typename T> struct In;
template <> struct In<long> {
    static constexpr VARTYPE type = VT_I4;
    static long from(const VARIANT& v) { return v.lVal; }
};
template <> struct In<int> {
    static constexpr VARTYPE type = VT_I4;
    static int from(const VARIANT& v) { return v.lVal; }
};
template <> struct In<VARIANT_BOOL> {
    static constexpr VARTYPE type = VT_BOOL;
    static VARIANT_BOOL from(const VARIANT& v) { return v.boolVal; }
};
template <> struct In<BSTR> {
    static constexpr VARTYPE type = VT_BSTR;
    static BSTR from(const VARIANT& v) { return v.bstrVal; }
};
template <> struct In<double> {
    static constexpr VARTYPE type = VT_R8;
    static double from(const VARIANT& v) { return v.dblVal; }
};

// A result type: how it goes into the caller's variant (which then owns it).
template <typename T> struct Out;
template <> struct Out<long> {
    static void store(VARIANT& r, long v) { r.vt = VT_I4, r.lVal = v; }
};
template <> struct Out<int> {
    static void store(VARIANT& r, int v) { r.vt = VT_I4, r.lVal = v; }
};
template <> struct Out<VARIANT_BOOL> {
    static void store(VARIANT& r, VARIANT_BOOL v) { r.vt = VT_BOOL, r.boolVal = v; }
};
template <> struct Out<BSTR> {
    static void store(VARIANT& r, BSTR v) { r.vt = VT_BSTR, r.bstrVal = v; }
};
template <> struct Out<double> {
    static void store(VARIANT& r, double v) { r.vt = VT_R8, r.dblVal = v; }
};

void discard(BSTR value) { SysFreeString(value); }
template <typename T> void discard(T) {}

// An [out, retval] parameter: a pointer that is not a string.
template <typename T> constexpr bool is_result = std::is_pointer_v<T> && !std::is_same_v<T, BSTR>;

template <typename Method> struct Signature;
template <typename... P> struct Signature<HRESULT (STDMETHODCALLTYPE IShockwaveFlash::*)(P...)> {
    using Params = std::tuple<P...>;
    static constexpr size_t count = sizeof...(P);
    static constexpr bool has_result = [] {
        if constexpr (sizeof...(P) == 0) {
            return false;
        } else {
            return is_result<std::tuple_element_t<sizeof...(P) - 1, Params>>;
        }
    }();
    static constexpr size_t inputs = has_result ? count - 1 : count;
};

template <auto M, size_t... I>
HRESULT call_member(IShockwaveFlash& control, const Arguments& args, VARIANT* result,
                    std::index_sequence<I...>) {
    using S = Signature<decltype(M)>;
    using Params = typename S::Params;
    VARIANT values[sizeof...(I) + 1];
    for (VARIANT& value : values) {
        VariantInit(&value);
    }
    HRESULT status = S_OK;
    ((status =
          SUCCEEDED(status) ? args.get(I, In<std::tuple_element_t<I, Params>>::type, values[I]) : status),
     ...);
    if (SUCCEEDED(status)) {
        if constexpr (S::has_result) {
            using Value = std::remove_pointer_t<std::tuple_element_t<S::count - 1, Params>>;
            Value value{};
            status = (control.*M)(In<std::tuple_element_t<I, Params>>::from(values[I])..., &value);
            if (SUCCEEDED(status)) {
                if (result != nullptr) {
                    Out<Value>::store(*result, value);
                } else {
                    discard(value);
                }
            }
        } else {
            status = (control.*M)(In<std::tuple_element_t<I, Params>>::from(values[I])...);
        }
    }
    for (VARIANT& value : values) {
        VariantClear(&value);
    }
    return status;
}

using Handler = HRESULT (*)(IShockwaveFlash&, const Arguments&, VARIANT*);

struct Handlers {
    Handler handler;
    UINT inputs;
};

template <auto M> constexpr Handlers handle() {
    using S = Signature<decltype(M)>;
    return {[](IShockwaveFlash& control, const Arguments& args, VARIANT* result) {
                return call_member<M>(control, args, result, std::make_index_sequence<S::inputs>{});
            },
            static_cast<UINT>(S::inputs)};
}

constexpr Handlers none{nullptr, 0};

// A property has a getter and usually a setter; a method has only `call`.
struct Member {
    const wchar_t* name;
    DISPID id;
    Handlers get;
    Handlers put;
    Handlers call;
};

using F = IShockwaveFlash;

const Member members[] = {
    {L"ReadyState", dispid_ready_state, handle<&F::get_ReadyState>(), none, none},
    {L"TotalFrames", dispid_total_frames, handle<&F::get_TotalFrames>(), none, none},
    {L"Playing", dispid_playing, handle<&F::get_Playing>(), handle<&F::put_Playing>(), none},
    {L"Quality", dispid_quality, handle<&F::get_Quality>(), handle<&F::put_Quality>(), none},
    {L"ScaleMode", dispid_scale_mode, handle<&F::get_ScaleMode>(), handle<&F::put_ScaleMode>(), none},
    {L"AlignMode", dispid_align_mode, handle<&F::get_AlignMode>(), handle<&F::put_AlignMode>(), none},
    {L"BackgroundColor", dispid_background_color, handle<&F::get_BackgroundColor>(),
     handle<&F::put_BackgroundColor>(), none},
    {L"Loop", dispid_loop, handle<&F::get_Loop>(), handle<&F::put_Loop>(), none},
    {L"Movie", dispid_movie, handle<&F::get_Movie>(), handle<&F::put_Movie>(), none},
    {L"FrameNum", dispid_frame_num, handle<&F::get_FrameNum>(), handle<&F::put_FrameNum>(), none},
    {L"SetZoomRect", dispid_set_zoom_rect, none, none, handle<&F::SetZoomRect>()},
    {L"Zoom", dispid_zoom, none, none, handle<&F::Zoom>()},
    {L"Pan", dispid_pan, none, none, handle<&F::Pan>()},
    {L"Play", dispid_play, none, none, handle<&F::Play>()},
    {L"Stop", dispid_stop, none, none, handle<&F::Stop>()},
    {L"Back", dispid_back, none, none, handle<&F::Back>()},
    {L"Forward", dispid_forward, none, none, handle<&F::Forward>()},
    {L"Rewind", dispid_rewind, none, none, handle<&F::Rewind>()},
    {L"StopPlay", dispid_stop_play, none, none, handle<&F::StopPlay>()},
    {L"GotoFrame", dispid_goto_frame, none, none, handle<&F::GotoFrame>()},
    {L"CurrentFrame", dispid_current_frame, none, none, handle<&F::CurrentFrame>()},
    {L"IsPlaying", dispid_is_playing, none, none, handle<&F::IsPlaying>()},
    {L"PercentLoaded", dispid_percent_loaded, none, none, handle<&F::PercentLoaded>()},
    {L"FrameLoaded", dispid_frame_loaded, none, none, handle<&F::FrameLoaded>()},
    {L"FlashVersion", dispid_flash_version, none, none, handle<&F::FlashVersion>()},
    {L"Menu", dispid_menu, handle<&F::get_Menu>(), handle<&F::put_Menu>(), none},
    {L"Quality2", dispid_quality2, handle<&F::get_Quality2>(), handle<&F::put_Quality2>(), none},
    {L"LoadMovie", dispid_load_movie, none, none, handle<&F::LoadMovie>()},
    {L"TGotoFrame", dispid_t_goto_frame, none, none, handle<&F::TGotoFrame>()},
    {L"TGotoLabel", dispid_t_goto_label, none, none, handle<&F::TGotoLabel>()},
    {L"TCurrentFrame", dispid_t_current_frame, none, none, handle<&F::TCurrentFrame>()},
    {L"TCurrentLabel", dispid_t_current_label, none, none, handle<&F::TCurrentLabel>()},
    {L"TPlay", dispid_t_play, none, none, handle<&F::TPlay>()},
    {L"TStopPlay", dispid_t_stop_play, none, none, handle<&F::TStopPlay>()},
    {L"SetVariable", dispid_set_variable, none, none, handle<&F::SetVariable>()},
    {L"GetVariable", dispid_get_variable, none, none, handle<&F::GetVariable>()},
    {L"TSetProperty", dispid_t_set_property, none, none, handle<&F::TSetProperty>()},
    {L"TGetProperty", dispid_t_get_property, none, none, handle<&F::TGetProperty>()},
    {L"TCallFrame", dispid_t_call_frame, none, none, handle<&F::TCallFrame>()},
    {L"TCallLabel", dispid_t_call_label, none, none, handle<&F::TCallLabel>()},
    {L"TSetPropertyNum", dispid_t_set_property_num, none, none, handle<&F::TSetPropertyNum>()},
    {L"TGetPropertyNum", dispid_t_get_property_num, none, none, handle<&F::TGetPropertyNum>()},
    {L"TGetPropertyAsNumber", dispid_t_get_property_as_number, none, none,
     handle<&F::TGetPropertyAsNumber>()},
};

bool same_name(const wchar_t* a, const wchar_t* b) {
    for (; *a != 0 && *b != 0; ++a, ++b) {
        if (std::towlower(*a) != std::towlower(*b)) {
            return false;
        }
    }
    return *a == *b;
}

const Member* member_named(const wchar_t* name) {
    if (name == nullptr) {
        return nullptr;
    }
    for (const Member& member : members) {
        if (same_name(member.name, name)) {
            return &member;
        }
    }
    return nullptr;
}

const Member* member_with_id(DISPID id) {
    for (const Member& member : members) {
        if (member.id == id) {
            return &member;
        }
    }
    return nullptr;
}

HRESULT run(const Handlers& handlers, IShockwaveFlash& control, const DISPPARAMS& params, VARIANT* result,
            UINT* argument_error) {
    if (params.cArgs != handlers.inputs) {
        return DISP_E_BADPARAMCOUNT;
    }
    if (params.cArgs != 0 && params.rgvarg == nullptr) {
        return E_INVALIDARG;
    }
    return handlers.handler(control, Arguments(params, argument_error), result);
}

} // namespace

HRESULT PlayerControl::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT PlayerControl::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT PlayerControl::GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
    if (!IsEqualIID(iid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    if (count == 0) {
        return S_OK;
    }
    if (names == nullptr || ids == nullptr) {
        return E_POINTER;
    }
    // Only member names are known; the names of parameters are not.
    const Member* member = member_named(names[0]);
    ids[0] = member != nullptr ? member->id : DISPID_UNKNOWN;
    for (UINT i = 1; i < count; ++i) {
        ids[i] = DISPID_UNKNOWN;
    }
    return member != nullptr && count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
}

HRESULT PlayerControl::Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                              EXCEPINFO*, UINT* argument_error) {
    if (!IsEqualIID(iid, IID_NULL)) {
        return DISP_E_UNKNOWNINTERFACE;
    }
    const Member* member = member_with_id(id);
    if (member == nullptr) {
        return DISP_E_MEMBERNOTFOUND;
    }
    DISPPARAMS empty{nullptr, nullptr, 0, 0};
    const DISPPARAMS& given = params != nullptr ? *params : empty;
    if (result != nullptr) {
        VariantInit(result);
    }

    if ((flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0) {
        if (member->put.handler == nullptr) {
            return DISP_E_MEMBERNOTFOUND;
        }
        // The value is the one argument, named DISPID_PROPERTYPUT by convention.
        if (given.cNamedArgs > 1 ||
            (given.cNamedArgs == 1 &&
             (given.rgdispidNamedArgs == nullptr || given.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))) {
            return DISP_E_PARAMNOTFOUND;
        }
        return run(member->put, *this, given, nullptr, argument_error);
    }
    if (given.cNamedArgs != 0) {
        return DISP_E_NONAMEDARGS;
    }
    if (member->call.handler != nullptr && (flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) != 0) {
        return run(member->call, *this, given, result, argument_error);
    }
    // A property read; script hosts also read properties with the method flag.
    if (member->get.handler != nullptr && (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) != 0) {
        return run(member->get, *this, given, result, argument_error);
    }
    return DISP_E_MEMBERNOTFOUND;
}

} // namespace tarpon::player
