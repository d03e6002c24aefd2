// SPDX-License-Identifier: MIT
// The one place where binding failures become sentences: the window's fatal
// report and zavlek-call both show these.
#pragma once

#include "binding_error.h"

#include <string>

namespace kavrelo::binding {

// What went wrong in plain words, then the system's own detail.
std::string reason_of(const BindingFailure& failure);

// The entry points' names as a Spanish list: "mPila, tokeniza, tokeniza2 y
// parser_SLR".
std::string entry_point_list();

// What a near miss is and how to cure it: "exporta «_parser_SLR@4» (nombre
// decorado de «__stdcall»); expórtelo sin decorar con un archivo .def o con
// -Wl,--kill-at".
std::string near_miss_words(const NearMiss& near_miss);
// Entry points the file defines without exporting them, and the cure.
std::string hidden_entry_points_words(const std::vector<std::string>& names);

// The calling-convention fault in plain words, and how to declare the entry
// point instead.
std::string calling_convention_words(const CallingConventionFault& fault);

// An exception that left an entry point: its type, its message and the
// cure, as the console and zavlek-call both say it.
std::string escaped_exception_words(const EscapedException& escaped);

// Where an answer that is no string of the allocator's points, and the cure:
// "apunta a la pila, ... . Cada respuesta debe ser una cadena nueva: ...".
std::string misplaced_answer_words(AnswerPlace place);
// The cure alone, for an answer whose fault the caller says itself.
std::string_view fresh_string_cure();

// The whole sentence: which library, which entry point, and the reason
// (reason_of's).
std::string sentence_of(const BindingFailure& failure, const std::string& reason);

// An element of the search passed over (passed_over_search_elements), for a
// user who put it there and expects it searched.
// The file that answers, once loaded.
std::string loaded_library_words(const std::string& location);

std::string passed_over_words(const std::string& element);

// What happened in a crash, where in the library, and its cure where there
// is one: "violación de acceso a memoria al escribir en la dirección 0x10
// — en parser_SLR+0x1c (libZavlek.so)".
std::string crash_words(const LibraryCrash& crash);

// A crash inside the library, in plain words, and its cure where there is
// one: "La biblioteca libZavlek.so falló durante parser_SLR: ...".
std::string library_crash_sentence(const LibraryCrash& crash);

}  // namespace kavrelo::binding
