# The macOS build cross-compiled on Linux, for misc/check-macos: clang for
# arm64-apple-macos13.5 against an SDK folder, programs linked by LLVM's
# ld64.lld. The script sets VANTREL_MACOS_SDK (the SDK folder),
# VANTREL_MACOS_WORK (its work folder: third-party header links, package
# files, generated stubs) and VANTREL_MACOS_LINKER (ld64.lld).
set(CMAKE_TRY_COMPILE_PLATFORM_VARIABLES
    VANTREL_MACOS_SDK VANTREL_MACOS_WORK VANTREL_MACOS_LINKER)
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(CMAKE_OSX_SYSROOT "${VANTREL_MACOS_SDK}")

foreach(language CXX OBJCXX)
  set(CMAKE_${language}_COMPILER_TARGET arm64-apple-macos13.5)
  # Warnings are errors, and a use of an API newer than the deployment
  # target is a warning even where it is not already an error.
  set(CMAKE_${language}_FLAGS_INIT
      "-stdlib=libc++ -Werror -Wunguarded-availability -Werror=unguarded-availability-new")
endforeach()

# Apple's clang hides inline functions in Objective-C++ as in C++ for
# CMake's VISIBILITY_INLINES_HIDDEN; CMake gives LLVM's clang the flag for
# C++ only.
set(CMAKE_OBJCXX_COMPILE_OPTIONS_VISIBILITY_INLINES_HIDDEN "-fvisibility-inlines-hidden")

# There is no libSystem to link a test program against: the compiler
# checks build a static library instead.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)

# ld64.lld, with -platform_version as clang passes it to Apple's linker;
# libSystem, libc++ and utf8proc are the generated stubs of the work
# folder; the file link-mode says how undefined symbols are treated.
set(CMAKE_EXE_LINKER_FLAGS_INIT
    "-stdlib=libc++ -fuse-ld=${VANTREL_MACOS_LINKER} -mlinker-version=800 -L${VANTREL_MACOS_WORK}/stubs @${VANTREL_MACOS_WORK}/link-mode")

# Packages and headers come from the work folder only, never from Linux's
# own /usr.
set(CMAKE_FIND_ROOT_PATH "${VANTREL_MACOS_WORK}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
