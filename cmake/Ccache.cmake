# Compiler caching. With Debian's ccache on PATH every compile goes through it, so a fresh
# clone of the project (in any folder) reuses the objects an earlier tree compiled from the
# same sources and flags. Never required: without ccache, or with AC_CCACHE=OFF, the compiler
# runs directly.
#
# The launcher sets ccache's options itself, so builds by hand behave like the scripts':
# - base_dir is this source tree: absolute paths inside it are rewritten relative to the
#   build directory before hashing, which makes two clones' compile commands identical;
# - hash_dir off: the build directory's own path (kept in the debug information) does not
#   split the cache between clones;
# - the cache is bounded (AC_CCACHE_MAXSIZE, default 4G); ccache evicts the oldest entries.
set(AC_CCACHE AUTO CACHE STRING "Compile through ccache: AUTO (when found), ON or OFF")
set_property(CACHE AC_CCACHE PROPERTY STRINGS AUTO ON OFF)
set(AC_CCACHE_MAXSIZE 4G CACHE STRING "Size bound of the compiler cache")

if(NOT AC_CCACHE STREQUAL "OFF")
  find_program(AC_CCACHE_PROGRAM ccache)
  if(AC_CCACHE_PROGRAM)
    set(launcher /usr/bin/env "CCACHE_BASEDIR=${PROJECT_SOURCE_DIR}" CCACHE_NOHASHDIR=1
        "CCACHE_MAXSIZE=${AC_CCACHE_MAXSIZE}" ${AC_CCACHE_PROGRAM})
    set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
    set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
    message(STATUS "ccache: compiling through ${AC_CCACHE_PROGRAM} (base dir ${PROJECT_SOURCE_DIR}, at most ${AC_CCACHE_MAXSIZE})")
  elseif(AC_CCACHE STREQUAL "ON")
    message(FATAL_ERROR "AC_CCACHE=ON but no ccache program was found (apt-get install ccache)")
  else()
    message(STATUS "ccache: not found, compiling without a cache")
  endif()
endif()
