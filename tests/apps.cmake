# The install tree, laid out by cmake --install under a temporary DESTDIR. It runs the installed
# host, so it waits for everything to be built.
zv_test(test_install apps/test_install.cpp)
target_compile_definitions(test_install PRIVATE
    ZORVIDEO_CMAKE_COMMAND="${CMAKE_COMMAND}"
    ZORVIDEO_TEST_BUILD_DIR="${PROJECT_BINARY_DIR}"
    ZORVIDEO_VERSION="${PROJECT_VERSION}"
    ZORVIDEO_INSTALL_PREFIX="${CMAKE_INSTALL_PREFIX}"
    ZORVIDEO_INSTALL_BINDIR="${CMAKE_INSTALL_BINDIR}"
    ZORVIDEO_INSTALL_LIBEXECDIR="${CMAKE_INSTALL_LIBEXECDIR}"
    ZORVIDEO_INSTALL_PLUGINDIR="${ZORVIDEO_PLUGIN_INSTALL_DIR}"
    ZORVIDEO_INSTALL_MANDIR="${CMAKE_INSTALL_MANDIR}"
    ZORVIDEO_INSTALL_DATADIR="${CMAKE_INSTALL_DATADIR}"
    ZORVIDEO_INSTALL_DOCDIR="${ZORVIDEO_DOC_INSTALL_DIR}")
add_dependencies(test_install zvf zorvideo-host ZORVideo ZORVideoService)
