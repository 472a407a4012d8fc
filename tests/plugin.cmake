# The plug-in is tried as a host tries it: opened with dlopen, never linked.
zv_test(test_plugin_exports plugin/test_plugin_exports.cpp)
target_compile_definitions(test_plugin_exports PRIVATE
    ZORVIDEO_PLUGIN_PATH="$<TARGET_FILE:ZORVideo>")
add_dependencies(test_plugin_exports ZORVideo)

# Not WIDGETS: the windows must come from the plug-in, so the test links Qt Widgets only.
zv_test(test_plugin_entry_points plugin/test_plugin_entry_points.cpp
        LIBS zorvideo_sample Qt6::Widgets Qt6::Test ${CMAKE_DL_LIBS})
target_compile_definitions(test_plugin_entry_points PRIVATE ZORVIDEO_TEST_WIDGETS
    ZORVIDEO_PLUGIN_PATH="$<TARGET_FILE:ZORVideo>")
add_dependencies(test_plugin_entry_points ZORVideo)

zv_test(test_plugin_host plugin/test_plugin_host.cpp LIBS zorvideo_sample Qt6::Widgets)
target_compile_definitions(test_plugin_host PRIVATE ZORVIDEO_TEST_WIDGETS
    ZORVIDEO_HOST_PATH="$<TARGET_FILE:zorvideo-host>"
    ZORVIDEO_SHOWVIDEO_PATH="$<TARGET_FILE:showvideo>")
add_dependencies(test_plugin_host zorvideo-host showvideo ZORVideo)
