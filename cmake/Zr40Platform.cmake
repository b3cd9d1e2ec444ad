# The platform libraries the layers link, found the same way by the main build and the fuzz
# build (fuzz/), so that both build the layers from the same CMake files.
find_package(Threads REQUIRED)
find_package(Qt6 6.4 COMPONENTS Core Gui Widgets DBus REQUIRED)
# The real machine: libusb for the device, the print system's client library for its queues
# (it ships no pkg-config file, so its own config tool names the libraries).
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBUSB REQUIRED IMPORTED_TARGET libusb-1.0)
find_program(CUPS_CONFIG cups-config REQUIRED)
execute_process(COMMAND ${CUPS_CONFIG} --libs OUTPUT_VARIABLE ZR40_CUPS_LIBS
                OUTPUT_STRIP_TRAILING_WHITESPACE)
separate_arguments(ZR40_CUPS_LIBS)
