# Static libraries for the programs that the host bundle ships: 64-bit Arm,
# built for the programs' own deployment target rather than the build
# machine's macOS.
set(VCPKG_TARGET_ARCHITECTURE arm64)
set(VCPKG_CRT_LINKAGE dynamic)
set(VCPKG_LIBRARY_LINKAGE static)
set(VCPKG_CMAKE_SYSTEM_NAME Darwin)
set(VCPKG_OSX_ARCHITECTURES arm64)
set(VCPKG_OSX_DEPLOYMENT_TARGET 13.5)
set(VCPKG_BUILD_TYPE release)
