# Warnings per target, in each compiler's own terms: -Wall -Wextra for GCC and
# Clang (MinGW-w64 included), /W4 for MSVC and clang-cl. Only for the C++
# sources, as a target may also hold a resource script that windres reads.
function(velmora_warnings target)
    if(MSVC)
        set(flags /W4)
    else()
        set(flags -Wall -Wextra)
    endif()
    target_compile_options(${target} PRIVATE "$<$<COMPILE_LANGUAGE:CXX>:${flags}>")
endfunction()
