# find_package(ZvServerAPI) for programs built against the installed relay
# client library: defines the imported target ZvServerAPI::ZvServerAPI
# (link it to get the library and the folder of ZvServerAPI.h).
include("${CMAKE_CURRENT_LIST_DIR}/ZvServerAPITargets.cmake")
