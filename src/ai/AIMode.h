#pragma once

namespace brenvo {

// How the AI service answers. Off is the only mode this version has: nothing is ever sent.
enum class AIMode { off };

} // namespace brenvo
