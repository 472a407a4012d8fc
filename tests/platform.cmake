zv_test(test_paths platform/test_paths.cpp)
zv_test(test_datetime platform/test_datetime.cpp)
zv_test(test_messages platform/test_messages.cpp)
zv_test(test_window_list platform/test_window_list.cpp X11)
