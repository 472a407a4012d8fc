zv_test(test_spin_edit widgets/test_spin_edit.cpp WIDGETS LIBS zorvideo_container_fixtures)
# Real keys and clicks (xdotool) under openbox.
zv_test(test_windows_x11 widgets/test_windows_x11.cpp WIDGETS X11 LIBS zorvideo_viewer_fixtures PkgConfig::XCB)
zv_test(test_window_layout widgets/test_window_layout.cpp WIDGETS LIBS zorvideo_viewer_fixtures)
zv_test(test_operator_paths widgets/test_operator_paths.cpp WIDGETS LIBS zorvideo_viewer_fixtures)
zv_test(test_window_fonts widgets/test_window_fonts.cpp WIDGETS)
