#pragma once

#include <QString>

// Every user-interface text goes through Tr(); the English literal is the
// catalogue key. TrNoop() only marks a literal for extraction.
QString Tr(const char* english);
#define TrNoop(text) text
