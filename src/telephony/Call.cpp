#include "telephony/Call.h"

namespace {

using Stage = Call::Stage;
using Event = Call::Event;
using Action = Call::Action;

struct Transition
{
    Stage from;
    Event event;
    Stage to;
    Action action;
};

// Every change of stage a call can make. Anything else that happens to it
// (a link loss, a second ring, a late window) leaves it where it is.
constexpr Transition kTransitions[] = {
    {Stage::Ringing, Event::RingStopped, Stage::Dropped, Action::CloseSmallCall},
    {Stage::Ringing, Event::OffHook, Stage::Answering, Action::OpenCallerId},
    {Stage::Ringing, Event::Quit, Stage::Dropped, Action::None},
    {Stage::Dialling, Event::OffHook, Stage::Connected, Action::StartCall},
    {Stage::Dialling, Event::OnHook, Stage::Dropped, Action::None},
    {Stage::Dialling, Event::Redialled, Stage::Dropped, Action::None},
    {Stage::Dialling, Event::Quit, Stage::Dropped, Action::None},
    {Stage::Answering, Event::CallerIdClosed, Stage::Connected, Action::StartCall},
    {Stage::Answering, Event::OnHook, Stage::Dropped, Action::CloseCallerId},
    {Stage::Answering, Event::Quit, Stage::Dropped, Action::None},
    {Stage::Connected, Event::OnHook, Stage::Released, Action::ReleaseLine},
    {Stage::Connected, Event::Quit, Stage::Ended, Action::EndOnQuit},
    {Stage::Released, Event::ResultTurn, Stage::WrapUp, Action::OpenResult},
    {Stage::WrapUp, Event::ResultClosed, Stage::Uploading, Action::Upload},
    {Stage::Uploading, Event::Uploaded, Stage::Finished, Action::Finish},
};

} // namespace

std::shared_ptr<Call> Call::inbound()
{
    auto call = std::shared_ptr<Call>(new Call(Stage::Ringing));
    call->InboundCall = true;
    call->CallDirection = ::CallDirection::Inbound;
    return call;
}

std::shared_ptr<Call> Call::unsaved(bool inbound)
{
    auto call = std::shared_ptr<Call>(new Call(Stage::Released));
    call->InboundCall = inbound;
    call->CallDirection = inbound ? ::CallDirection::Inbound : ::CallDirection::Outbound;
    return call;
}

std::shared_ptr<Call> Call::outbound()
{
    auto call = std::shared_ptr<Call>(new Call(Stage::Dialling));
    call->CallDirection = ::CallDirection::Outbound;
    return call;
}

std::optional<Call::Action> Call::on(Event event)
{
    for (const Transition& t : kTransitions) {
        if (t.from == m_stage && t.event == event) {
            m_stage = t.to;
            return t.action;
        }
    }
    return std::nullopt;
}
