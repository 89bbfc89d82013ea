# The feed site's base address ends up inside a C++ string literal in both
# programs, so only an absolute http(s) URL made of URI characters (RFC 3986:
# no spaces, quotes, backslashes or controls; no fragment; % only before two
# hex digits) that ends in / is taken.
#
# Included by the top-level CMakeLists.txt; scripts/package.sh runs it alone:
#   cmake -DVELMORA_FEED_BASE_URL=URL -P cmake/base_url.cmake

# Sets OUT to why URL is refused, or to "" when it is a valid base address.
function(velmora_base_url_problem url out)
    set(chars "A-Za-z0-9._~!$&'()*+,;=:@%-")
    # The authority may hold an IPv6 literal in brackets; the path and query
    # that follow it end in /.
    set(form "^https?://[][${chars}]+/([${chars}/?]*/)?$")
    string(REGEX REPLACE "%[0-9A-Fa-f][0-9A-Fa-f]" "" unescaped "${url}")
    if(NOT url MATCHES "${form}")
        set(${out} "must be an absolute http(s) address of URI characters ending in /" PARENT_SCOPE)
    elseif(unescaped MATCHES "%")
        set(${out} "has a % that does not start a %XX escape" PARENT_SCOPE)
    else()
        set(${out} "" PARENT_SCOPE)
    endif()
endfunction()

# Sets OUT to URL written as the body of a C++ string literal. A valid URL
# holds nothing to escape; this keeps the header sound should the rule above
# ever loosen.
function(velmora_cxx_literal url out)
    string(REPLACE "\\" "\\\\" url "${url}")
    string(REPLACE "\"" "\\\"" url "${url}")
    string(REPLACE "\n" "\\n" url "${url}")
    set(${out} "${url}" PARENT_SCOPE)
endfunction()

function(velmora_require_base_url url)
    velmora_base_url_problem("${url}" problem)
    if(problem)
        message(FATAL_ERROR "VELMORA_FEED_BASE_URL ${problem}")
    endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
    velmora_require_base_url("${VELMORA_FEED_BASE_URL}")
endif()
