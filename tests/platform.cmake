zv_test(test_paths platform/test_paths.cpp)
zv_test(test_datetime platform/test_datetime.cpp)
zv_test(test_messages platform/test_messages.cpp)
zv_test(test_window_list platform/test_window_list.cpp X11)
zv_test(test_file platform/test_file.cpp)
zv_test(test_autostart platform/test_autostart.cpp)
zv_test(test_free_space platform/test_free_space.cpp)
zv_test(test_process_start platform/test_process_start.cpp)
zv_test(test_screen_capture platform/test_screen_capture.cpp X11)
zv_test(test_file_watch platform/test_file_watch.cpp)
zv_test(test_file_name_text platform/test_file_name_text.cpp)
zv_test(test_part_file platform/test_part_file.cpp)
zv_test(test_screen_source_choice platform/test_screen_source_choice.cpp
        LIBS zorvideo_capture PkgConfig::PIPEWIRE)
# Against a headless sway started by the test (label wayland).
# A pointer device of its own through wlroots' virtual pointer (XML from wlroots' protocol/ folder).
set(pointer_xml ${CMAKE_CURRENT_SOURCE_DIR}/support/protocols/wlr-virtual-pointer-unstable-v1.xml)
set(pointer_glue ${CMAKE_CURRENT_BINARY_DIR}/protocols)
add_custom_command(
    OUTPUT ${pointer_glue}/wlr-virtual-pointer-unstable-v1-client-protocol.h
           ${pointer_glue}/wlr-virtual-pointer-unstable-v1-protocol.c
    COMMAND ${CMAKE_COMMAND} -E make_directory ${pointer_glue}
    COMMAND ${WAYLAND_SCANNER} client-header ${pointer_xml}
            ${pointer_glue}/wlr-virtual-pointer-unstable-v1-client-protocol.h
    COMMAND ${WAYLAND_SCANNER} private-code ${pointer_xml}
            ${pointer_glue}/wlr-virtual-pointer-unstable-v1-protocol.c
    DEPENDS ${pointer_xml})
zv_test(test_wayland_capture platform/test_wayland_capture.cpp
        ${pointer_glue}/wlr-virtual-pointer-unstable-v1-client-protocol.h
        ${pointer_glue}/wlr-virtual-pointer-unstable-v1-protocol.c
        LIBS zorvideo_capture PkgConfig::WAYLAND LABELS wayland)
target_include_directories(test_wayland_capture PRIVATE ${pointer_glue})
