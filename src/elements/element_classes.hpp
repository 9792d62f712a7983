// The 26 element classes, written once. Everything that is per class (the class ids and their
// count, the conversion order, the order of the module's names, the element type of each
// class, the class objects' accessors) is derived from this list.
//
// X(ClassName, ElementStruct, snake_name, module_position): the rows stand in the order in
// which to_element tests a Python object against the classes; module_position is the class's
// place among the classes the module adds at start-up (and lists in __all__), a permutation of
// 0 .. 25 that element_object.hpp checks at compile time.
#pragma once

#define VANTOREL_ELEMENT_CLASSES(X)                                   \
  X(Literal, LiteralElement, literal, 0)                              \
  X(Word, WordElement, word, 2)                                       \
  X(Regex, RegexElement, regex, 3)                                    \
  X(And, AndElement, and, 4)                                          \
  X(MatchFirst, MatchFirstElement, match_first, 5)                    \
  X(Group, GroupElement, group, 9)                                    \
  X(Suppress, SuppressElement, suppress, 10)                          \
  X(ZeroOrMore, ZeroOrMoreElement, zero_or_more, 6)                   \
  X(OneOrMore, OneOrMoreElement, one_or_more, 7)                      \
  X(Optional, OptionalElement, optional, 8)                           \
  X(Keyword, KeywordElement, keyword, 1)                              \
  X(Forward, ForwardElement, forward, 11)                             \
  X(Combine, CombineElement, combine, 12)                             \
  X(Exactly, ExactlyElement, exactly, 13)                             \
  X(CaselessLiteral, CaselessLiteralElement, caseless_literal, 14)    \
  X(CaselessKeyword, CaselessKeywordElement, caseless_keyword, 15)    \
  X(Char, CharElement, char, 16)                                      \
  X(StringStart, StringStartElement, string_start, 17)                \
  X(StringEnd, StringEndElement, string_end, 18)                      \
  X(LineStart, LineStartElement, line_start, 19)                      \
  X(LineEnd, LineEndElement, line_end, 20)                            \
  X(rest_of_line, RestOfLineElement, rest_of_line, 21)                \
  X(QuotedString, QuotedStringElement, quoted_string, 22)             \
  X(Empty, EmptyElement, empty, 23)                                   \
  X(NoMatch, NoMatchElement, no_match, 24)                            \
  X(SkipTo, SkipToElement, skip_to, 25)
