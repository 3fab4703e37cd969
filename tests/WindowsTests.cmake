# The tests of the Windows build, run under Wine by scripts/orvane windows-test: the API-level
# suites against the virtual camera, the Win32 platform layer against the real system services,
# and the public header as a C99 Windows application sees it. Tests that need POSIX-only
# machinery (fork, FIFOs, /dev/full, umockdev, xvfb-run, Python decoders) stay Linux-only.

# The tests' POSIX message windows become real Windows message-only windows.
target_sources(orvane_test_support PRIVATE support/Win32Messages.cpp)
target_compile_options(orvane_test_support PUBLIC
                       "SHELL:-include ${CMAKE_CURRENT_SOURCE_DIR}/support/Win32Messages.h")

orvane_add_test(NAME api_tests SOURCES api/RingTest.cpp api/ExportFrameTest.cpp
                api/ControlTableTest.cpp api/ExportExceptionTest.cpp support/ReplacedAllocation.cpp
                LABELS api)
target_compile_definitions(api_tests PRIVATE
                           ORVANE_PUBLIC_HEADER="${PROJECT_SOURCE_DIR}/include/OrvaneSdk.h")
orvane_add_test(NAME api_thread_tests SOURCES api/RegistryStressTest.cpp LABELS api thread)
orvane_add_test(NAME session_tests
  SOURCES session/SessionCatalogueTest.cpp session/SettingsTest.cpp session/OutputTest.cpp
    session/ErrorHistoryTest.cpp session/ConfigFileTest.cpp
  LABELS session)
# Linux-only cases in these files: the settings tree read back as the text of the settings file,
# and UTF-8 as the narrow encoding of wide paths (Windows has the registry and the ANSI code page).
set_tests_properties(session_tests PROPERTIES ENVIRONMENT
  "GTEST_FILTER=-Settings.FirstRunWritesTheDefaultTree:Output.AWidePathIsSavedUnderItsUtf8Name")
orvane_add_test(NAME session_acquisition_tests SOURCES session/AcquisitionTest.cpp
                LABELS session thread)

# The FX3 driver backend: against a scripted driver, and its system side where no camera is.
orvane_add_test(NAME fx3_backend_tests
  SOURCES transport/Fx3DriverBackendTest.cpp transport/DriverRequestTest.cpp
    transport/Fx3SystemIoTest.cpp
  LABELS transport)

# The Win32 platform layer: registry, file mapping, messages through a real message loop,
# ANSI code page.
file(GLOB _win32_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win32/*.cpp)
if(_win32_tests)
  orvane_add_test(NAME win32_platform_tests SOURCES ${_win32_tests} LABELS platform)
  # The unload cases load the DLL itself, found in the working directory.
  add_dependencies(win32_platform_tests OrvaneSdk_A06_USB3_Q7)
  set_tests_properties(win32_platform_tests PROPERTIES
    WORKING_DIRECTORY $<TARGET_FILE_DIR:OrvaneSdk_A06_USB3_Q7>)
endif()

# The settings sheets as Win32 dialogs from the resource templates, driven with messages from
# a second thread. The program carries the templates itself (it links the library statically);
# the template check also looks into the DLL beside it. Pictures of the sheets go to
# test-artifacts/ in the working directory.
file(GLOB _win32_dialog_tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/win32/dialogs/*.cpp)
orvane_add_test(NAME win32_dialog_tests SOURCES ${_win32_dialog_tests} ${ORVANE_DIALOG_RESOURCES}
                LABELS dialogs gui)
add_dependencies(win32_dialog_tests OrvaneSdk_A06_USB3_Q7)
set_tests_properties(win32_dialog_tests PROPERTIES
  WORKING_DIRECTORY $<TARGET_FILE_DIR:OrvaneSdk_A06_USB3_Q7>)

# The GDI preview window and device-change notifications on the window system Wine provides
# (scripts/orvane windows-test runs it in its own Xvfb); screenshots go to the artifact
# directory.
orvane_add_test(NAME win32_preview_tests SOURCES win32/preview/Win32PreviewTest.cpp
                LABELS session gui)

# The sample application runs against the virtual camera for a few seconds, opens the three
# settings dialogs from its menu handler (cancelling each), exits 0 once it has drawn frames,
# and leaves a picture of its window among the artifacts.
add_test(NAME win_sample
         COMMAND orvane-win-sample --exit-after 4 --dialogs
                 --screenshot ${CMAKE_CURRENT_BINARY_DIR}/test-artifacts/win_sample.bmp)
file(MAKE_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/test-artifacts)
set_tests_properties(win_sample PROPERTIES LABELS "tools;gui" TIMEOUT 90
  WORKING_DIRECTORY $<TARGET_FILE_DIR:OrvaneSdk_A06_USB3_Q7>
  ENVIRONMENT "ORVANE_VIRTUAL_CAMERAS=30f0:pace=fast;ORVANE_REGISTRY_ROOT=Software\\OrvaneTests\\win_sample;ORVANE_SHM_NAME=orvane-win-sample-test")

# The public header compiles as C99 after <windows.h>, and a C program links the DLL through
# its import library.
add_executable(c_windows_header_test c/windows_header_test.c)
set_target_properties(c_windows_header_test PROPERTIES C_STANDARD 99 C_EXTENSIONS OFF)
target_compile_options(c_windows_header_test PRIVATE -pedantic)
target_link_libraries(c_windows_header_test PRIVATE OrvaneSdk_A06_USB3_Q7)
add_test(NAME c_windows_header_test COMMAND c_windows_header_test)
# Its own settings and device table; the DLL is found in the current directory.
set_tests_properties(c_windows_header_test PROPERTIES LABELS "api"
  WORKING_DIRECTORY $<TARGET_FILE_DIR:OrvaneSdk_A06_USB3_Q7>
  ENVIRONMENT "ORVANE_REGISTRY_ROOT=Software\\OrvaneTests\\c_windows_header_test;ORVANE_SHM_NAME=orvane-c-windows-header-test")

# The DLL exports exactly the .def's functions and imports only Windows system DLLs.
add_test(NAME dll_exports
         COMMAND sh ${CMAKE_CURRENT_SOURCE_DIR}/c/check_dll.sh
                 $<TARGET_FILE:OrvaneSdk_A06_USB3_Q7> ${CMAKE_SOURCE_DIR}/include/OrvaneSdk.h)
set_tests_properties(dll_exports PROPERTIES LABELS "api")

# Failing writes: files held without sharing, read-only files and handles, a device that takes
# no data, a volume that fills up. They stand in for the Linux tests' /dev/full and file size
# limit.
orvane_add_test(NAME output_write_failure_tests
                SOURCES output/WriteFailureWin32Test.cpp LABELS output)
set_tests_properties(output_write_failure_tests PROPERTIES ENVIRONMENT
                     "GTEST_FILTER=-WriteFailureFull.*")
# The same program's full-volume cases, under a file size limit of 8 KiB (16 blocks of 512
# bytes, as POSIX sh counts them) set by the shell that starts Wine, with SIGXFSZ ignored so
# that an over-long write fails instead of killing the process. The run's persistent
# wineserver was started outside the limit.
add_test(NAME output_full_volume_tests
         COMMAND sh -c "trap '' XFSZ; ulimit -f 16; exec \"$0\" \"$1\" --gtest_filter=WriteFailureFull.*"
                 ${ORVANE_WINE64} $<TARGET_FILE:output_write_failure_tests>)
set_tests_properties(output_full_volume_tests PROPERTIES LABELS output TIMEOUT 180
                     ENVIRONMENT "ORVANE_TEST_FILE_SIZE_LIMIT=8192")

# The layer rules hold for the cross build's include paths as well.
add_subdirectory(layers)
