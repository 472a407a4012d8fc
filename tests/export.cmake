zv_test(test_range_export export/test_range_export.cpp LIBS zorvideo_container_fixtures)
zv_test(test_zvf_export_tool export/test_zvf_export_tool.cpp LIBS Qt6::Gui)
target_compile_definitions(test_zvf_export_tool PRIVATE ZVF_TOOL="$<TARGET_FILE:zvf>")
add_dependencies(test_zvf_export_tool zvf)
