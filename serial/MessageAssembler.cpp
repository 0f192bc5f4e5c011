#include "serial/MessageAssembler.h"

bool MessageAssembler::push(char byte, const Settings& settings, std::string* dropped)
{
    if (state_ == State::Appending) {
        // Trailing bytes are taken as they come, start and end characters included.
        message_.push_back(byte);
        if (--appendLeft_ == 0) return complete();
        dropIfFull(dropped);
        return false;
    }
    if (byte == settings.startChar) {
        if (state_ == State::Collecting && dropped) dropped->append(message_);
        state_ = State::Collecting;
        message_.assign(1, byte);
        return false;
    }
    if (state_ != State::Collecting) {
        if (dropped) dropped->push_back(byte);
        return false;
    }
    message_.push_back(byte);
    if (byte == settings.endChar) {
        if (settings.appendCount == 0) return complete();
        state_ = State::Appending;
        appendLeft_ = settings.appendCount;
    }
    dropIfFull(dropped);
    return false;
}

bool MessageAssembler::complete()
{
    state_ = State::Complete;
    return true;
}

// Called after a byte that did not finish the message: a message that has reached
// the cap can only grow further, so it is dropped here. One that is finished by
// its MaxMessage-th byte has already been completed.
void MessageAssembler::dropIfFull(std::string* dropped)
{
    if (message_.size() < MaxMessage) return;
    if (dropped) dropped->append(message_);
    message_.clear();
    state_ = State::Complete;
}
