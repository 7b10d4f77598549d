# Warnings for every target of the project; call after add_library/add_executable.
function(gramisola_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()
