// The player control: one COM object with one identity that offers the automation interface, the
// OLE embedding and in-place interfaces, drawing through the view-object interface, the event
// connection point and small persistence and class-information stubs. It wraps the portable movie
// player with a child window, a frame timer, mouse input and the container's events.
//
// Everything runs on the thread that created the control (an apartment-threaded object). Movie
// actions never run inside a call from the container: put_Movie and the navigation methods queue
// them and post the window a message, and the frame timer runs them after each tick.
#pragma once

#include "platform/windows.h"

#include <ocidl.h>
#include <ole2.h>
#include <olectl.h>

#include <atomic>
#include <optional>
#include <string>
#include <vector>

#include "player/control/event_connection.h"
#include "player/control/frame_buffer.h"
#include "player/control/server.h"
#include "player/control/shockwave_flash.h"
#include "player/swf/movie_player.h"

namespace tarpon::player {

// A new control answered as interface `iid`; aggregation is refused.
HRESULT create_player_control(IUnknown* outer, REFIID iid, void** object);
// Removes the control's window class when the DLL is unloaded.
void unregister_control_window_class();

class PlayerControl final : public IShockwaveFlash,
                            public IOleObject,
                            public IOleInPlaceObject,
                            public IOleInPlaceActiveObject,
                            public IOleControl,
                            public IViewObject2,
                            public IConnectionPointContainer,
                            public IProvideClassInfo2,
                            public IPersistStreamInit {
  public:
    PlayerControl();
    PlayerControl(const PlayerControl&) = delete;
    PlayerControl& operator=(const PlayerControl&) = delete;

    // IUnknown (control_identity.cpp).
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    // IDispatch (flash_dispatch.cpp).
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override;
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                            DISPID* ids) override;
    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID locale, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT* argument_error) override;

    // IShockwaveFlash (control_flash.cpp: movie and playback; control_targets.cpp: timelines by path).
    HRESULT STDMETHODCALLTYPE get_ReadyState(long* state) override;
    HRESULT STDMETHODCALLTYPE get_TotalFrames(long* frames) override;
    HRESULT STDMETHODCALLTYPE get_Playing(VARIANT_BOOL* playing) override;
    HRESULT STDMETHODCALLTYPE put_Playing(VARIANT_BOOL playing) override;
    HRESULT STDMETHODCALLTYPE get_Quality(int* quality) override;
    HRESULT STDMETHODCALLTYPE put_Quality(int quality) override;
    HRESULT STDMETHODCALLTYPE get_ScaleMode(int* mode) override;
    HRESULT STDMETHODCALLTYPE put_ScaleMode(int mode) override;
    HRESULT STDMETHODCALLTYPE get_AlignMode(int* mode) override;
    HRESULT STDMETHODCALLTYPE put_AlignMode(int mode) override;
    HRESULT STDMETHODCALLTYPE get_BackgroundColor(long* color) override;
    HRESULT STDMETHODCALLTYPE put_BackgroundColor(long color) override;
    HRESULT STDMETHODCALLTYPE get_Loop(VARIANT_BOOL* loop) override;
    HRESULT STDMETHODCALLTYPE put_Loop(VARIANT_BOOL loop) override;
    HRESULT STDMETHODCALLTYPE get_Movie(BSTR* path) override;
    HRESULT STDMETHODCALLTYPE put_Movie(BSTR path) override;
    HRESULT STDMETHODCALLTYPE get_FrameNum(long* frame) override;
    HRESULT STDMETHODCALLTYPE put_FrameNum(long frame) override;
    HRESULT STDMETHODCALLTYPE SetZoomRect(long left, long top, long right, long bottom) override;
    HRESULT STDMETHODCALLTYPE Zoom(int factor) override;
    HRESULT STDMETHODCALLTYPE Pan(long x, long y, int mode) override;
    HRESULT STDMETHODCALLTYPE Play() override;
    HRESULT STDMETHODCALLTYPE Stop() override;
    HRESULT STDMETHODCALLTYPE Back() override;
    HRESULT STDMETHODCALLTYPE Forward() override;
    HRESULT STDMETHODCALLTYPE Rewind() override;
    HRESULT STDMETHODCALLTYPE StopPlay() override;
    HRESULT STDMETHODCALLTYPE GotoFrame(long frame) override;
    HRESULT STDMETHODCALLTYPE CurrentFrame(long* frame) override;
    HRESULT STDMETHODCALLTYPE IsPlaying(VARIANT_BOOL* playing) override;
    HRESULT STDMETHODCALLTYPE PercentLoaded(long* percent) override;
    HRESULT STDMETHODCALLTYPE FrameLoaded(long frame, VARIANT_BOOL* loaded) override;
    HRESULT STDMETHODCALLTYPE FlashVersion(long* version) override;
    HRESULT STDMETHODCALLTYPE get_WMode(BSTR* mode) override;
    HRESULT STDMETHODCALLTYPE put_WMode(BSTR mode) override;
    HRESULT STDMETHODCALLTYPE get_SAlign(BSTR* align) override;
    HRESULT STDMETHODCALLTYPE put_SAlign(BSTR align) override;
    HRESULT STDMETHODCALLTYPE get_Menu(VARIANT_BOOL* menu) override;
    HRESULT STDMETHODCALLTYPE put_Menu(VARIANT_BOOL menu) override;
    HRESULT STDMETHODCALLTYPE get_Base(BSTR* base) override;
    HRESULT STDMETHODCALLTYPE put_Base(BSTR base) override;
    HRESULT STDMETHODCALLTYPE get_Scale(BSTR* scale) override;
    HRESULT STDMETHODCALLTYPE put_Scale(BSTR scale) override;
    HRESULT STDMETHODCALLTYPE get_DeviceFont(VARIANT_BOOL* device_font) override;
    HRESULT STDMETHODCALLTYPE put_DeviceFont(VARIANT_BOOL device_font) override;
    HRESULT STDMETHODCALLTYPE get_EmbedMovie(VARIANT_BOOL* embed) override;
    HRESULT STDMETHODCALLTYPE put_EmbedMovie(VARIANT_BOOL embed) override;
    HRESULT STDMETHODCALLTYPE get_BGColor(BSTR* color) override;
    HRESULT STDMETHODCALLTYPE put_BGColor(BSTR color) override;
    HRESULT STDMETHODCALLTYPE get_Quality2(BSTR* quality) override;
    HRESULT STDMETHODCALLTYPE put_Quality2(BSTR quality) override;
    HRESULT STDMETHODCALLTYPE LoadMovie(int layer, BSTR url) override;
    HRESULT STDMETHODCALLTYPE TGotoFrame(BSTR target, long frame) override;
    HRESULT STDMETHODCALLTYPE TGotoLabel(BSTR target, BSTR label) override;
    HRESULT STDMETHODCALLTYPE TCurrentFrame(BSTR target, long* frame) override;
    HRESULT STDMETHODCALLTYPE TCurrentLabel(BSTR target, BSTR* label) override;
    HRESULT STDMETHODCALLTYPE TPlay(BSTR target) override;
    HRESULT STDMETHODCALLTYPE TStopPlay(BSTR target) override;
    HRESULT STDMETHODCALLTYPE SetVariable(BSTR name, BSTR value) override;
    HRESULT STDMETHODCALLTYPE GetVariable(BSTR name, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE TSetProperty(BSTR target, int property, BSTR value) override;
    HRESULT STDMETHODCALLTYPE TGetProperty(BSTR target, int property, BSTR* value) override;
    HRESULT STDMETHODCALLTYPE TCallFrame(BSTR target, int frame) override;
    HRESULT STDMETHODCALLTYPE TCallLabel(BSTR target, BSTR label) override;
    HRESULT STDMETHODCALLTYPE TSetPropertyNum(BSTR target, int property, double value) override;
    HRESULT STDMETHODCALLTYPE TGetPropertyNum(BSTR target, int property, double* value) override;
    HRESULT STDMETHODCALLTYPE TGetPropertyAsNumber(BSTR target, int property, double* value) override;
    HRESULT STDMETHODCALLTYPE get_SWRemote(BSTR* remote) override;
    HRESULT STDMETHODCALLTYPE put_SWRemote(BSTR remote) override;
    HRESULT STDMETHODCALLTYPE get_FlashVars(BSTR* vars) override;
    HRESULT STDMETHODCALLTYPE put_FlashVars(BSTR vars) override;
    HRESULT STDMETHODCALLTYPE get_AllowScriptAccess(BSTR* access) override;
    HRESULT STDMETHODCALLTYPE put_AllowScriptAccess(BSTR access) override;
    HRESULT STDMETHODCALLTYPE get_MovieData(BSTR* data) override;
    HRESULT STDMETHODCALLTYPE put_MovieData(BSTR data) override;
    HRESULT STDMETHODCALLTYPE get_InlineData(IUnknown** data) override;
    HRESULT STDMETHODCALLTYPE put_InlineData(IUnknown* data) override;
    HRESULT STDMETHODCALLTYPE get_SeamlessTabbing(VARIANT_BOOL* seamless) override;
    HRESULT STDMETHODCALLTYPE put_SeamlessTabbing(VARIANT_BOOL seamless) override;
    HRESULT STDMETHODCALLTYPE EnforceLocalSecurity() override;
    HRESULT STDMETHODCALLTYPE get_Profile(VARIANT_BOOL* profile) override;
    HRESULT STDMETHODCALLTYPE put_Profile(VARIANT_BOOL profile) override;
    HRESULT STDMETHODCALLTYPE get_ProfileAddress(BSTR* address) override;
    HRESULT STDMETHODCALLTYPE put_ProfileAddress(BSTR address) override;
    HRESULT STDMETHODCALLTYPE get_ProfilePort(long* port) override;
    HRESULT STDMETHODCALLTYPE put_ProfilePort(long port) override;
    HRESULT STDMETHODCALLTYPE CallFunction(BSTR request, BSTR* response) override;
    HRESULT STDMETHODCALLTYPE SetReturnValue(BSTR value) override;
    HRESULT STDMETHODCALLTYPE DisableLocalSecurity() override;
    HRESULT STDMETHODCALLTYPE get_AllowNetworking(BSTR* networking) override;
    HRESULT STDMETHODCALLTYPE put_AllowNetworking(BSTR networking) override;
    HRESULT STDMETHODCALLTYPE get_AllowFullScreen(BSTR* full_screen) override;
    HRESULT STDMETHODCALLTYPE put_AllowFullScreen(BSTR full_screen) override;

    // IOleObject (control_embedding.cpp).
    HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* site) override;
    HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** site) override;
    HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR application, LPCOLESTR document) override;
    HRESULT STDMETHODCALLTYPE Close(DWORD save_option) override;
    HRESULT STDMETHODCALLTYPE SetMoniker(DWORD which, IMoniker* moniker) override;
    HRESULT STDMETHODCALLTYPE GetMoniker(DWORD assign, DWORD which, IMoniker** moniker) override;
    HRESULT STDMETHODCALLTYPE InitFromData(IDataObject* data, BOOL creation, DWORD reserved) override;
    HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD reserved, IDataObject** data) override;
    HRESULT STDMETHODCALLTYPE DoVerb(LONG verb, LPMSG message, IOleClientSite* site, LONG index, HWND parent,
                                     LPCRECT position) override;
    HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB** verbs) override;
    HRESULT STDMETHODCALLTYPE Update() override;
    HRESULT STDMETHODCALLTYPE IsUpToDate() override;
    HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE GetUserType(DWORD form, LPOLESTR* type) override;
    HRESULT STDMETHODCALLTYPE SetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, SIZEL* size) override;
    HRESULT STDMETHODCALLTYPE Advise(IAdviseSink* sink, DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE Unadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA** advise) override;
    HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD aspect, DWORD* status) override;
    HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE* palette) override;

    // IOleWindow, IOleInPlaceObject, IOleInPlaceActiveObject, IOleControl (control_in_place.cpp).
    HRESULT STDMETHODCALLTYPE GetWindow(HWND* window) override;
    HRESULT STDMETHODCALLTYPE ContextSensitiveHelp(BOOL enter) override;
    HRESULT STDMETHODCALLTYPE InPlaceDeactivate() override;
    HRESULT STDMETHODCALLTYPE UIDeactivate() override;
    HRESULT STDMETHODCALLTYPE SetObjectRects(LPCRECT position, LPCRECT clip) override;
    HRESULT STDMETHODCALLTYPE ReactivateAndUndo() override;
    HRESULT STDMETHODCALLTYPE TranslateAccelerator(LPMSG message) override;
    HRESULT STDMETHODCALLTYPE OnFrameWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE OnDocWindowActivate(BOOL activate) override;
    HRESULT STDMETHODCALLTYPE ResizeBorder(LPCRECT border, IOleInPlaceUIWindow* window, BOOL frame) override;
    HRESULT STDMETHODCALLTYPE EnableModeless(BOOL enable) override;
    HRESULT STDMETHODCALLTYPE GetControlInfo(CONTROLINFO* info) override;
    HRESULT STDMETHODCALLTYPE OnMnemonic(MSG* message) override;
    HRESULT STDMETHODCALLTYPE OnAmbientPropertyChange(DISPID id) override;
    HRESULT STDMETHODCALLTYPE FreezeEvents(BOOL freeze) override;

    // IViewObject2 (control_view.cpp).
    HRESULT STDMETHODCALLTYPE Draw(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device,
                                   HDC target_dc, HDC draw_dc, LPCRECTL bounds, LPCRECTL window_bounds,
                                   BOOL(STDMETHODCALLTYPE* keep_going)(ULONG_PTR),
                                   ULONG_PTR argument) override;
    HRESULT STDMETHODCALLTYPE GetColorSet(DWORD aspect, LONG index, void* aspect_info, DVTARGETDEVICE* device,
                                          HDC target_dc, LOGPALETTE** colors) override;
    HRESULT STDMETHODCALLTYPE Freeze(DWORD aspect, LONG index, void* aspect_info, DWORD* freeze) override;
    HRESULT STDMETHODCALLTYPE Unfreeze(DWORD freeze) override;
    HRESULT STDMETHODCALLTYPE SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
    HRESULT STDMETHODCALLTYPE GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
    HRESULT STDMETHODCALLTYPE GetExtent(DWORD aspect, LONG index, DVTARGETDEVICE* device,
                                        LPSIZEL size) override;

    // IConnectionPointContainer, IProvideClassInfo2, IPersistStreamInit (control_stubs.cpp).
    HRESULT STDMETHODCALLTYPE EnumConnectionPoints(IEnumConnectionPoints** points) override;
    HRESULT STDMETHODCALLTYPE FindConnectionPoint(REFIID iid, IConnectionPoint** point) override;
    HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override;
    HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override;
    HRESULT STDMETHODCALLTYPE GetClassID(CLSID* clsid) override;
    HRESULT STDMETHODCALLTYPE IsDirty() override;
    HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override;
    HRESULT STDMETHODCALLTYPE Save(LPSTREAM stream, BOOL clear_dirty) override;
    HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER* size) override;
    HRESULT STDMETHODCALLTYPE InitNew() override;

    // Player commands shared by the player menu and WM_COMMAND (player_menu.cpp).
    void run_player_command(UINT command);
    void show_player_menu(POINT screen);

    // The window side (control_window.cpp).
    static LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);

  private:
    ~PlayerControl();

    LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);
    bool create_window(HWND parent, const RECT& position);
    void destroy_window();
    void paint();
    void update_timer();
    void invalidate();
    void on_pointer(UINT message, LPARAM lparam);
    // Queues a run of the movie's pending actions on the window's message queue.
    void schedule_actions();
    // Runs the pending actions (or one frame tick first) with the control held; a movie the
    // actions asked for loads afterwards.
    void run_actions(bool tick);

    // Drawing (control_view.cpp): the movie mapped onto a width x height area.
    swf::Matrix view_for(int width, int height) const;
    void draw_frame(FrameBuffer& buffer, int32_t background) const;
    int32_t background_override() const { return m_background; }

    // Movies (control_flash.cpp).
    HRESULT load_movie(const std::wstring& location);
    void fire_ready_state(long state);
    void fire_fs_command(const std::string& command, const std::string& argument);
    void open_url(const std::string& url);
    // After a change of frame or play state made by the container.
    void timeline_changed();
    // The visible part of the movie in twips: the zoom rectangle or the frame.
    swf::Rect visible_rect() const;

    // Embedding (control_in_place.cpp).
    HRESULT in_place_activate(IOleClientSite* site, HWND parent, LPCRECT position, bool ui_activate);

    std::atomic<ULONG> m_references{1};
    ServerReference m_server;
    EventConnection m_events;
    swf::MoviePlayer m_player;

    // Properties.
    std::wstring m_movie;
    long m_ready_state = ready_state_complete;
    bool m_playing = true;
    bool m_loop = true;
    bool m_menu = true;
    int m_quality = 1;
    std::wstring m_quality2 = L"high";
    int m_scale_mode = 0;
    int m_align_mode = 0;
    int32_t m_background = -1;
    std::optional<swf::Rect> m_zoom;

    // Embedding state.
    IOleClientSite* m_client_site = nullptr;
    IOleInPlaceSite* m_in_place_site = nullptr;
    IOleInPlaceFrame* m_frame = nullptr;
    IOleAdviseHolder* m_advise_holder = nullptr;
    IAdviseSink* m_view_sink = nullptr;
    DWORD m_view_aspects = 0;
    DWORD m_view_flags = 0;
    SIZEL m_extent{};
    RECT m_position{};
    bool m_ui_active = false;
    int m_frozen_events = 0;

    // Window state.
    HWND m_window = nullptr;
    FrameBuffer m_buffer;
    UINT m_timer_interval = 0;
    bool m_actions_posted = false;
    bool m_over_button = false;
    bool m_pointer_down = false;
    int m_action_depth = 0;
    unsigned m_load_serial = 0;
    std::optional<std::wstring> m_pending_movie;
};

// Holds a reference to the control for a scope: whatever a sink does during an event, the control
// outlives the code that fired it.
class ControlHold {
  public:
    explicit ControlHold(IUnknown* control) : m_control(control) { m_control->AddRef(); }
    ControlHold(const ControlHold&) = delete;
    ControlHold& operator=(const ControlHold&) = delete;
    ~ControlHold() { m_control->Release(); }

  private:
    IUnknown* m_control;
};

} // namespace tarpon::player
