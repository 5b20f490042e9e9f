#pragma once
// An input whose parse, at the position right after X, walks only a quarter of the chain (X
// comes with a match of 36 in hand) and so takes the nearest match of 40 past 256 nearer
// candidates, not the match of 100 behind them, which a full walk would take.

#include <random>
#include <string>

struct QuarterChainText {
    std::string beforeX; // oldest first: the line with the match of 100, X's own match of 36,
                         // 300 matches of 40 and 300 of 3 bytes that make X's walk long
    std::string fromX;   // X's line: X, then the string those matches are made of
};

inline QuarterChainText quarterChainText(std::mt19937 &random)
{
    std::string u;
    for (int i = 0; i < 100; ++i)
        u += char('a' + random() % 26);
    QuarterChainText text;
    text.beforeX = "Q" + u + "\n" + "S" + u.substr(0, 35) + "!\n";
    for (int i = 0; i < 300; ++i)
        text.beforeX += "R" + u.substr(0, 40) + "#\n";
    for (int i = 0; i < 300; ++i)
        text.beforeX += "S" + u.substr(0, 2) + "%\n";
    // X follows bytes of its own, so that it neither continues the match of the lines before it
    // nor comes with a match of its own in hand.
    text.beforeX += "0123456789+";
    text.fromX = "S" + u + "\n";
    return text;
}
