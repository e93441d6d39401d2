# The version of nsfrex and, in a git checkout, the commit it was configured from: nsfrex_version_note()
# links it into a binary as an ELF note, read back by `nsfrex --version`.
find_package(Git QUIET)
set(NSFREX_VERSION_TEXT "${PROJECT_VERSION}")
if(GIT_FOUND)
  execute_process(COMMAND "${GIT_EXECUTABLE}" rev-parse --short=12 HEAD
                  WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" RESULT_VARIABLE git_status
                  OUTPUT_VARIABLE git_commit OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(git_status EQUAL 0 AND git_commit MATCHES "^[0-9a-f]+$")
    string(APPEND NSFREX_VERSION_TEXT " (commit ${git_commit})")
  endif()
endif()
string(LENGTH "${NSFREX_VERSION_TEXT}" NSFREX_VERSION_NOTE_SIZE)
# Room for the text, a terminating zero and the padding to four bytes that notes need.
math(EXPR NSFREX_VERSION_NOTE_SPACE "(${NSFREX_VERSION_NOTE_SIZE} + 4) / 4 * 4")
configure_file(${CMAKE_CURRENT_LIST_DIR}/version_note.cpp.in ${CMAKE_BINARY_DIR}/version_note.cpp @ONLY)

# The targets that do not exist in this build are left out.
function(nsfrex_version_note)
  foreach(target IN LISTS ARGN)
    if(TARGET ${target})
      target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/version_note.cpp)
    endif()
  endforeach()
endfunction()
