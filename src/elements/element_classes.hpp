// The 26 element classes, written once, in the order in which a Python object is tested
// against them when it is converted to an element: X(ClassName, ElementStruct).
#pragma once

#define VANTOREL_ELEMENT_CLASSES(X)            \
  X(Literal, LiteralElement)                   \
  X(Word, WordElement)                         \
  X(Regex, RegexElement)                       \
  X(And, AndElement)                           \
  X(MatchFirst, MatchFirstElement)             \
  X(Group, GroupElement)                       \
  X(Suppress, SuppressElement)                 \
  X(ZeroOrMore, ZeroOrMoreElement)             \
  X(OneOrMore, OneOrMoreElement)               \
  X(Optional, OptionalElement)                 \
  X(Keyword, KeywordElement)                   \
  X(Forward, ForwardElement)                   \
  X(Combine, CombineElement)                   \
  X(Exactly, ExactlyElement)                   \
  X(CaselessLiteral, CaselessLiteralElement)   \
  X(CaselessKeyword, CaselessKeywordElement)   \
  X(Char, CharElement)                         \
  X(StringStart, StringStartElement)           \
  X(StringEnd, StringEndElement)               \
  X(LineStart, LineStartElement)               \
  X(LineEnd, LineEndElement)                   \
  X(rest_of_line, RestOfLineElement)           \
  X(QuotedString, QuotedStringElement)         \
  X(Empty, EmptyElement)                       \
  X(NoMatch, NoMatchElement)                   \
  X(SkipTo, SkipToElement)
