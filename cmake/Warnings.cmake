# Warnings applied to every target of this project (not to the dependencies).
function(murmex_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
        -Wnon-virtual-dtor -Wold-style-cast -Wcast-align -Woverloaded-virtual
        -Wimplicit-fallthrough)
    if (MURMEX_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
