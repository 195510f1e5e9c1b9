# SPDX-License-Identifier: MIT
# SQLite for the Windows programs. Debian packages it for Linux only, so the
# Windows build compiles it in from the single source file that
# scripts/sqlite-source.sh makes out of Debian's own source package.
set(VIGILON_SQLITE_SOURCE "${CMAKE_SOURCE_DIR}/build/deps/sqlite3"
    CACHE PATH "Where sqlite3.c and sqlite3.h are (scripts/sqlite-source.sh makes them)")
if(NOT EXISTS "${VIGILON_SQLITE_SOURCE}/sqlite3.c" OR NOT EXISTS "${VIGILON_SQLITE_SOURCE}/sqlite3.h")
  message(FATAL_ERROR "SQLite's source is not in ${VIGILON_SQLITE_SOURCE}: run scripts/sqlite-source.sh "
                      "(VIGILON_MINGW=1 scripts/bootstrap.sh does), or set VIGILON_SQLITE_SOURCE.")
endif()
add_library(vigilon_sqlite3 STATIC "${VIGILON_SQLITE_SOURCE}/sqlite3.c")
target_include_directories(vigilon_sqlite3 SYSTEM PUBLIC "${VIGILON_SQLITE_SOURCE}")
# Serialized use from any thread; nothing loads extensions; no double-quoted
# string literals.
target_compile_definitions(vigilon_sqlite3 PRIVATE SQLITE_THREADSAFE=1 SQLITE_OMIT_LOAD_EXTENSION SQLITE_DQS=0
                                                   SQLITE_DEFAULT_MEMSTATUS=0 SQLITE_OMIT_DEPRECATED)
# Not our code: its warnings are its makers'. -O1: the history's few
# statements a second do not need more, and the build is twice as fast.
target_compile_options(vigilon_sqlite3 PRIVATE -w -O1)
set_target_properties(vigilon_sqlite3 PROPERTIES FOLDER "third-party")
add_library(SQLite::SQLite3 ALIAS vigilon_sqlite3)
