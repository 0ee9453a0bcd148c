# Every build goes through ccache when it is installed. Paths below the source tree are hashed
# relative to it and the build folder is left out of the hash, so a clone of the same commit in
# another folder (CI's) reuses the objects that a developer's build put in the cache.
find_program(PLENK_CCACHE ccache)
if(PLENK_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER)
  set(launcher
      ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${CMAKE_SOURCE_DIR} CCACHE_NOHASHDIR=true
      CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
      ${PLENK_CCACHE})
  set(CMAKE_C_COMPILER_LAUNCHER ${launcher})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${launcher})
endif()
