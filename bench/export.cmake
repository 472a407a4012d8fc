zv_bench(export_video export_video.cpp)
zv_bench(export_time_search export_time_search.cpp)
zv_bench(export_pictures export_pictures.cpp LIBS zorvideo_sample GIF::GIF)
zv_bench(export_window_bench export_window_bench.cpp
         LIBS zorvideo_ui Qt6::Widgets)
target_compile_definitions(export_window_bench PRIVATE ZVF_TOOL="$<TARGET_FILE:zvf>")
add_dependencies(export_window_bench zvf)
zv_bench(export_mp4 export_mp4.cpp LIBS zorvideo_mp4 zorvideo_sample)
# A plain program (not Google Benchmark): size and PSNR of the MP4 export by encoder settings.
add_executable(export_mp4_quality export_mp4_quality.cpp)
target_link_libraries(export_mp4_quality PRIVATE zorvideo_mp4 zorvideo_sample)
