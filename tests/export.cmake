zv_test(test_range_export export/test_range_export.cpp LIBS zorvideo_container_fixtures)
zv_test(test_zvf_export_tool export/test_zvf_export_tool.cpp LIBS Qt6::Gui)
target_compile_definitions(test_zvf_export_tool PRIVATE ZVF_TOOL="$<TARGET_FILE:zvf>")
add_dependencies(test_zvf_export_tool zvf)
zv_test(test_strip_mapping export/test_strip_mapping.cpp)
zv_test(test_export_window export/test_export_window.cpp WIDGETS LIBS zorvideo_container_fixtures)
# A QGuiApplication for the time stamp's font (WIDGETS); ffprobe and ffmpeg read the videos.
zv_test(test_mp4_export export/test_mp4_export.cpp WIDGETS LIBS zorvideo_mp4 zorvideo_sample)
