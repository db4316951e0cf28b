#pragma once

// Template text -> exact page bytes, run with configureStandard(). Both are
// written with "\n" and compared after crlf(). The random-input test mutates
// these templates.

#include <ostream>
#include <string>
#include <vector>

namespace kaviro::test {

struct ExpansionCase {
    const char *name;
    std::string templ;
    std::string expected;
};

// Test lists and failures name a case, not its bytes.
inline void PrintTo(const ExpansionCase &c, std::ostream *out)
{
    *out << c.name;
}

// Umlauts in Windows-1252.
#define AE "\xE4"
#define OE "\xF6"
#define UE "\xFC"

inline const std::string kHtmlTable = "<params>\n"
                                      "  <translation name=html default>\n"
                                      "    <replace string=" AE " with=&auml;/>\n"
                                      "    <replace string=" OE ">&ouml;</replace>\n"
                                      "  </translation name=html>\n"
                                      "</params>\n";

inline const std::vector<ExpansionCase> &expansionCases()
{
    static const std::vector<ExpansionCase> cases = {
        // Literal text
        {"LiteralLines", "Hello\nWorld", "Hello\nWorld\n"},
        {"EmptyLinesKept", "a\n\n\nb", "a\n\n\nb\n"},
        {"ForeignTagsLiteral", "<b>Text</b> <td class=x>", "<b>Text</b> <td class=x>\n"},
        {"NearlyTagsLiteral", "<params> x\n<if  name=A>\n< >\n<>", "<params> x\n<if  name=A>\n< >\n<>\n"},
        {"LowerCaseOnly", "<IF name=A>x</IF name=A>", "<IF name=A>x</IF name=A>\n"},
        {"TabInTagNameLiteral", "<if\tname=A>", "<if\tname=A>\n"},

        // The line rule
        {"IfTrueOwnLines", "<if name=A>\nx\n</if name=A>", "x\n"},
        {"IfFalseOwnLines", "<if name=F>\nx\n</if name=F>", ""},
        {"ElseWhenTrue", "<if name=A>\nx\n<else name=A/>\ny\n</if name=A>", "x\n"},
        {"ElseWhenFalse", "<if name=F>\nx\n<else name=F/>\ny\n</if name=F>", "y\n"},
        {"IndentedTagsDropped", "a\n  \t<if name=A>  \nx\n\t</if name=A>\t\nb", "a\nx\nb\n"},
        {"TagAfterTextKeepsLine", "a <if name=A>\nx</if name=A> b", "a \nx b\n"},
        {"TextAfterTagKeepsLine", "<if name=A> x\ny\n</if name=A>", " x\ny\n"},
        {"InlineCondition", "a<if name=F>b<else name=F/>c</if name=F>d", "acd\n"},
        {"ElseOfOtherConditionIgnored", "<if name=A>\n<else name=Q/>\nx\n</if name=A>", "x\n"},
        {"NestedConditions", "<if name=A>\n<if name=F>\nno\n</if name=F>\nyes\n</if name=A>", "yes\n"},
        {"SkippedIfsNotEvaluated", "<if name=F>\n<if name=X>\n</if name=F>\nz", "z\n"},

        // Macros
        {"MacroInline", "abc <macro name=M/> def", "abc 1 def\n"},
        {"EmptyMacroOwnLine", "a\n  <macro name=E/>\nb", "a\nb\n"},
        {"MacroOwnLineKeepsLine", "a\n  <macro name=M/>\nb", "a\n  1\nb\n"},
        {"MacroWithLineBreakValue", "<macro name=Nl/>y", "x\ny\n"},
        {"CharAfterQuotedMacro", "<macro name=\"M\"/>x<macro name=M/>y", "1x1y\n"},
        {"MacroBlankBeforeSlash", "<macro name=M />", "1\n"},
        {"UnknownMacroEmpty", "[<macro name=Nope/>]", "[]\n"},
        {"MacroNoTable", "<macro name=U/>", AE OE UE "\n"},
        {"MacroTranslated", kHtmlTable + AE "<macro name=U/>" OE, AE "&auml;&ouml;" UE OE "\n"},
        {"MacroNotTranslated", kHtmlTable + "<macro name=Raw/>", AE "\n"},

        // Parameter values
        {"EscapedValue", "<macro name=Echo text=#3Cb#3E/>", "<b>\n"},
        {"EscapesCase", "<macro name=Echo text=#41#42#43#4G#4a/>", "ABC#4GJ\n"},
        {"ShortValueNotDecoded", "<macro name=Echo text=#4/>|<macro name=Echo text=x#4/>", "#4|x\x04\n"},
        {"EscapedName", "<macro name=#4D/>", "1\n"},
        {"QuotedValueLineBreak", "<macro name=Echo text=\"a\nb\"/>", "a b\n"},
        {"QuotedValueKeepsSpecials", "<macro name=Echo text=\"a > b / c <d>\"/>", "a > b / c <d>\n"},
        {"TabSeparatesParams", "<macro name=Echo\ttext=x/><macro name=Echo \t text=y/>", "xy\n"},
        {"FirstOfRepeatedParam", "<macro name=Echo text=a text=b/>", "a\n"},

        // Comments
        {"CommentBlock", "a\n<comment name=c>\nhidden <macro name=M/>\n</comment name=c>\nb", "a\nb\n"},
        {"CommentNeedsItsName", "<comment name=c>\n<comment name=d>\n</comment name=d>\n</comment>\nstill\n</comment name=c>\nb",
         "b\n"},
        {"SelfClosedComment", "a<comment name=c/>b", "ab\n"},
        {"CommentInsideSkippedCondition",
         "<if name=F>\n<comment name=c>\n<else name=F/>\n</comment name=c>\nno\n<else name=F/>\nyes\n</if name=F>", "yes\n"},

        // Blocks read by the declarations pass
        {"ParamsAndCodeSkipped", "<params>\n<param name=p value=1/>\n</params>\n<code>\nx = 1; <b>\n</code>\nbody", "body\n"},
        {"SelfClosedBlocks", "a<params/>b<code/>c", "abc\n"},
        {"CommentInCodeBlock", "<code>\n<comment name=c>\n</code>\n</comment name=c>\n</code>\nz", "z\n"},

        // Loops
        {"Loop", "<repeat name=L>\n<macro name=@L/>\n</repeat name=L>", "0\n1\n"},
        {"LoopInline", "<repeat name=L>x</repeat name=L>.", "xx.\n"},
        {"LoopTextAfterOpening", "<repeat name=L>a\n</repeat name=L>", "a\na\n"},
        {"LoopUnnamedClose", "<repeat name=I>\n<macro name=@I/>\n</repeat>", "0\n1\n2\n"},
        {"NestedLoops", "<repeat name=L>\n<repeat name=I>\n<macro name=@L/><macro name=@I/>\n</repeat name=I>\n</repeat name=L>",
         "00\n01\n02\n10\n11\n12\n"},
        {"InnerClosedByOuter", "<repeat name=L>\n<repeat name=Q>\n<macro name=@L/>\n</repeat name=L>", "0\n1\n"},
        {"EmptyLoopSkipped", "a\n<repeat name=Z>\nx <macro name=Nope/>\n</repeat>\n</repeat name=Z>\nb", "a\nb\n"},
        {"UnknownLoopOnce", "<repeat name=Q>\nq\n</repeat name=Q>", "q\n"},
        {"ConditionInLoop", "<repeat name=L>\n<if name=A>\n<macro name=@L/>\n</if name=A>\n</repeat name=L>", "0\n1\n"},
    };
    return cases;
}

#undef AE
#undef OE
#undef UE

} // namespace kaviro::test
