# One list of warning flags for every target of the project.
set(NORVANE_WARNING_FLAGS
    -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wcast-align
    -Woverloaded-virtual -Wnull-dereference -Wformat=2 -Wimplicit-fallthrough)
option(NORVANE_WERROR "Treat warnings as errors" OFF)

function(norvane_warnings target)
  target_compile_options(${target} PRIVATE ${NORVANE_WARNING_FLAGS})
  if(NORVANE_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
