// Embedding the control in a plain container: activation in place, the child window and its
// rectangle, deactivation and reactivation, the event connection, and drawing without a movie.
#include <gtest/gtest.h>

#include "player/control/guids.h"
#include "test_container.h"

namespace tarpon::player::test {
namespace {

TEST(PlayerEmbedding, ActivatesAsAChildWindowOfTheContainer) {
    Container container(160, 120);
    ASSERT_TRUE(container.ok());
    HWND window = container.control_window();
    EXPECT_EQ(GetParent(window), container.host_window());
    EXPECT_TRUE(IsWindowVisible(window));
    RECT client{};
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 160);
    EXPECT_EQ(client.bottom, 120);

    // Activating again changes nothing: still one window.
    RECT rect{0, 0, 160, 120};
    ASSERT_EQ(container.ole()->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, container.host_window(),
                                      &rect),
              S_OK);
    EXPECT_EQ(container.control_window(), window);

    container.resize(200, 90);
    GetClientRect(window, &client);
    EXPECT_EQ(client.right, 200);
    EXPECT_EQ(client.bottom, 90);
}

TEST(PlayerEmbedding, ToleratesRectanglesBeforeTheWindowAndCanBeActivatedAgain) {
    ComPtr<IClassFactory> factory = player_factory();
    ASSERT_TRUE(factory);
    ComPtr<IOleInPlaceObject> in_place;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IOleInPlaceObject, in_place.put_void()), S_OK);
    RECT early{5, 6, 55, 46};
    EXPECT_EQ(in_place->SetObjectRects(&early, &early), S_OK);
    HWND window = reinterpret_cast<HWND>(1);
    EXPECT_EQ(in_place->GetWindow(&window), E_FAIL);
    EXPECT_EQ(window, nullptr);
    EXPECT_EQ(in_place->SetObjectRects(nullptr, nullptr), E_POINTER);
    EXPECT_EQ(in_place->InPlaceDeactivate(), S_OK); // never active: nothing to undo

    // Without a site, the parent and rectangle of DoVerb are used.
    HWND parent = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 80, nullptr, nullptr,
                                  nullptr, nullptr);
    ASSERT_NE(parent, nullptr);
    auto ole = in_place.query<IOleObject>(IID_IOleObject);
    ASSERT_EQ(ole->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr, nullptr, 0, parent, nullptr), S_OK);
    ASSERT_EQ(in_place->GetWindow(&window), S_OK);
    RECT placed{};
    GetWindowRect(window, &placed);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&placed), 2);
    EXPECT_EQ(placed.left, 5);
    EXPECT_EQ(placed.top, 6);
    EXPECT_EQ(placed.right - placed.left, 50);

    EXPECT_EQ(in_place->InPlaceDeactivate(), S_OK);
    EXPECT_FALSE(IsWindow(window));
    EXPECT_EQ(in_place->GetWindow(&window), E_FAIL);
    ASSERT_EQ(ole->DoVerb(OLEIVERB_SHOW, nullptr, nullptr, 0, parent, &early), S_OK);
    EXPECT_EQ(in_place->GetWindow(&window), S_OK);
    EXPECT_TRUE(IsWindow(window));
    // Releasing the last reference of an active control takes its window with it.
    in_place.reset();
    ole.reset();
    EXPECT_FALSE(IsWindow(window));
    DestroyWindow(parent);
}

TEST(PlayerEmbedding, ConnectionPointAdvisesAndUnadvises) {
    ComPtr<IClassFactory> factory = player_factory();
    ComPtr<IConnectionPointContainer> points;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_IConnectionPointContainer, points.put_void()), S_OK);
    ComPtr<IConnectionPoint> point;
    EXPECT_EQ(points->FindConnectionPoint(IID_IPropertyNotifySink, point.put()), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(points->FindConnectionPoint(diid_shockwave_flash_events, point.put()), S_OK);
    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_TRUE(IsEqualIID(iid, diid_shockwave_flash_events));
    ComPtr<IConnectionPointContainer> back;
    EXPECT_EQ(point->GetConnectionPointContainer(back.put()), S_OK);
    EXPECT_EQ(back.get(), points.get());
    EXPECT_EQ(point->Unadvise(12345), CONNECT_E_NOCONNECTION);

    // A sink without IDispatch cannot connect.
    ComPtr<IUnknown> not_a_sink;
    CreateBindCtx(0, reinterpret_cast<IBindCtx**>(not_a_sink.put()));
    DWORD cookie = 7;
    EXPECT_EQ(point->Advise(not_a_sink.get(), &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(cookie, 0u);

    auto provide = points.query<IProvideClassInfo2>(IID_IProvideClassInfo2);
    GUID source{};
    EXPECT_EQ(provide->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source), S_OK);
    EXPECT_TRUE(IsEqualGUID(source, diid_shockwave_flash_events));
}

TEST(PlayerEmbedding, AMovieThatCannotBeReadFailsAndStillCompletesItsReadyState) {
    Container container(80, 60);
    ASSERT_TRUE(container.ok());
    TempFile garbage(L"tarpon-player-garbage.swf", {'N', 'O', 'T', ' ', 'A', ' ', 'M', 'O', 'V', 'I', 'E'});
    EXPECT_TRUE(FAILED(container.load(garbage.path())));
    EXPECT_TRUE(FAILED(container.load(L"C:\\no\\such\\movie.swf")));
    // Nothing is downloaded.
    EXPECT_TRUE(FAILED(container.load(L"http://example.invalid/movie.swf")));
    const std::vector<long> expected{0, 4, 0, 4, 0, 4};
    EXPECT_EQ(container.events().ready_states, expected);
    EXPECT_TRUE(container.events().progress.empty());
    long value = -1;
    container.flash()->get_ReadyState(&value);
    EXPECT_EQ(value, 4);
    container.flash()->get_TotalFrames(&value);
    EXPECT_EQ(value, 0);
    // An empty Movie clears the movie without complaint.
    EXPECT_EQ(container.load(L""), S_OK);
}

TEST(PlayerEmbedding, WithoutAMovieDrawsTheBackgroundColour) {
    Container container(64, 48);
    ASSERT_TRUE(container.ok());
    ASSERT_EQ(container.flash()->put_BackgroundColor(0x3366CC), S_OK);
    EXPECT_EQ(container.screen_pixel(10, 10), 0x3366CCu);
    EXPECT_EQ(container.screen_pixel(63, 47), 0x3366CCu);
    HRESULT status = E_FAIL;
    std::vector<uint32_t> drawn = container.view_draw(20, 10, &status);
    EXPECT_EQ(status, S_OK);
    EXPECT_EQ(drawn[0], 0x3366CCu);
    EXPECT_EQ(drawn.back(), 0x3366CCu);

    ComPtr<IViewObject2> view;
    ASSERT_EQ(container.flash()->QueryInterface(IID_IViewObject2, view.put_void()), S_OK);
    RECTL inverted{10, 10, 0, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &inverted, nullptr, nullptr, 0),
              E_INVALIDARG);
    RECTL huge{0, 0, 1 << 30, 1 << 30};
    EXPECT_EQ(view->Draw(DVASPECT_CONTENT, -1, nullptr, nullptr, nullptr, dc, &huge, nullptr, nullptr, 0),
              E_INVALIDARG);
    EXPECT_EQ(view->Draw(DVASPECT_ICON, -1, nullptr, nullptr, nullptr, dc, &inverted, nullptr, nullptr, 0),
              DV_E_DVASPECT);
    DeleteDC(dc);
}

} // namespace
} // namespace tarpon::player::test
