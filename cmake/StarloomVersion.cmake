# The program's version, declared here only: project() takes it, and starloom_version_header
# writes it into Version.h (from src/core/Version.h.in) for the code.
set(STARLOOM_VERSION 1.6)

# Writes Version.h into `dir`, which the targets that include it add to their include folders.
function(starloom_version_header dir)
  configure_file(${CMAKE_CURRENT_FUNCTION_LIST_DIR}/../src/core/Version.h.in ${dir}/Version.h @ONLY)
endfunction()
