#pragma once

#include <string>
#include <vector>

#include "support/FakeService.h"

namespace qingtong::tools {

// One scenario file, read line by line. Words are separated by blanks; a word may be put in
// double quotes to hold blanks; "-" stands for an empty word; "#" starts a comment line.
//
//   user SECUID UID NICKNAME UNIQUEID SHORTID [live ROOMID | offline [ROOMID]]
//   shortlink CODE user SECUID          short link whose redirect points at a user's page
//   shortlink CODE room ROOMID          ... at a live room
//   shortlink CODE location TEXT        ... at any Location value
//   sharecode CODE user SECUID          share code of a home page
//   sharecode CODE room ROOMID SECUID   share code of a live room and its owner
//   sharecode CODE schema TEXT          share code translated into any schema
//   stream ROOMID URL                   stream address of a room
//   stream ROOMID flv                   an endless FLV stream served by this program
//   fail ENDPOINT FAILURE [COUNT]       ENDPOINT: live room user sharecode shortlink any;
//                                       FAILURE: status notjson html empty slow reset truncated
//   delay MILLISECONDS                  how long a "slow" answer waits
struct StreamRequest {
    std::string roomId;
};

struct Scenario {
    std::vector<std::string> errors;          // "line N: ..." for every line not understood
    std::vector<StreamRequest> flvStreams;    // rooms whose stream this program serves
    std::vector<std::string> pasteLines;      // lines to try with "add", one per link and code
};

// Applies the scenario text to the fake; lines in error are reported and skipped.
Scenario applyScenario(const std::string& text, test::FakeService& fake);

} // namespace qingtong::tools
