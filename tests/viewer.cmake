add_library(zorvideo_viewer_fixtures STATIC viewer/Recordings.cpp)
target_include_directories(zorvideo_viewer_fixtures PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(zorvideo_viewer_fixtures PUBLIC zorvideo_container_fixtures zorvideo_core)

zv_test(test_video_player viewer/test_video_player.cpp viewer/test_frame_decoder.cpp
        LIBS zorvideo_viewer_fixtures Qt6::Test)
zv_test(test_show_video viewer/test_show_video.cpp WIDGETS LIBS zorvideo_viewer_fixtures)
# Real keys (xdotool), a real window manager (openbox) and X11 window titles.
zv_test(test_show_video_x11 viewer/test_show_video_x11.cpp WIDGETS X11
        LIBS zorvideo_viewer_fixtures PkgConfig::XCB)
# The text search: the non-visual search and background indexing, and the window's search row
# with real keys.
zv_test(test_text_search viewer/test_text_search.cpp viewer/TextRecordings.cpp WIDGETS
        LIBS zorvideo_pixeltext Qt6::Test)
zv_test(test_show_video_text viewer/test_show_video_text.cpp viewer/TextRecordings.cpp WIDGETS X11
        LIBS zorvideo_viewer_fixtures zorvideo_pixeltext)
